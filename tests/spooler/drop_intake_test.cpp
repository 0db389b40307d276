#include "spooler/drop_intake.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "peers/test_paths.h"
#include "spooler/spooler_test_support.h"

namespace wexmoor {
namespace {

using testing::ReadFile;
using testing::RunPython;
using testing::T;
using testing::TempFolder;
using testing::WriteFile;

class FakeUi : public IntakeUi {
 public:
  Text selected = u"srv";
  bool zip = false;
  std::vector<std::pair<Text, Text>> errors;
  Text SelectedServerName() const override { return selected; }
  bool ZipChecked() const override { return zip; }
  void ShowError(const Text& title, const Text& message) override { errors.emplace_back(title, message); }
};

class FakeDrop : public DropHandle {
 public:
  std::vector<Text> names;
  bool released = false;
  int Count() const override { return static_cast<int>(names.size()); }
  Text Name(int index) const override { return names.at(static_cast<std::size_t>(index)); }
  void Release() override { released = true; }
};

class DropIntake : public ::testing::Test {
 protected:
  DropIntake() {
    ServerRecord first;
    first.name = u"first";
    servers.Set(1, first);
    ServerRecord srv;
    srv.name = u"srv";
    servers.Set(2, srv);
  }
  IntakeContext Context() { return IntakeContext{queue, ring, servers, flags, zip, translator, ui, &written, {}}; }
  void Drop(const std::vector<std::string>& paths) {
    Text list;
    for (const auto& p : paths) list += T(p) + u"\r";
    auto context = Context();
    QueueDroppedItems(context, list);
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> out;
    for (const auto& t : queue.Texts()) out.push_back(Utf16ToUtf8(t));
    return out;
  }
  std::set<std::string> EntrySet() const {
    auto e = Entries();
    return {e.begin(), e.end()};
  }
  static std::string ArchiveNames(const std::string& archive) {
    std::string out;
    RunPython("import zipfile\nprint(sorted((i.filename,i.file_size) for i in zipfile.ZipFile('" + archive +
                  "').infolist()))",
              &out);
    return out;
  }

  TempFolder dir;
  UploadQueue queue;
  UiMessageRing ring;
  ServerTable servers;
  SharedFlags flags;
  ZipLibrary zip;
  Translator translator;
  FakeUi ui;
  WrittenArchives written;
};

TEST_F(DropIntake, FilesJoinInDropOrderWithTheSelectedServer) {
  for (auto n : {"a.txt", "b.txt", "c.txt"}) WriteFile(dir.File(n), "x");
  FakeDrop drop;
  drop.names = {T(dir.File("c.txt")), T(dir.File("a.txt")), T(dir.File("b.txt"))};
  auto context = Context();
  HandleDrop(context, drop);
  EXPECT_TRUE(drop.released);
  std::vector<std::string> expected = {dir.File("c.txt") + "|srv|", dir.File("a.txt") + "|srv|",
                                       dir.File("b.txt") + "|srv|"};
  EXPECT_EQ(Entries(), expected);
  for (int slot = 0; slot < 3; ++slot) {
    Text text;
    ASSERT_TRUE(ring.Peek(slot, text));
    EXPECT_EQ(Utf16ToUtf8(text), expected[static_cast<std::size_t>(slot)]);
  }
  EXPECT_TRUE(ui.errors.empty());
}

TEST_F(DropIntake, FolderIsExpandedWithItsStructure) {
  std::filesystem::create_directories(dir.File("photos/2007/deep"));
  WriteFile(dir.File("photos/x.jpg"), "x");
  WriteFile(dir.File("photos/empty.txt"), "");
  WriteFile(dir.File("photos/2007/a.jpg"), "a");
  WriteFile(dir.File("photos/2007/deep/b.jpg"), "b");
  std::filesystem::create_directory_symlink(dir.File("photos"), dir.File("photos/2007/loop"));
  // A trailing "/" on the dropped path changes nothing.
  Drop({dir.File("photos/")});
  std::string p = dir.File("photos");
  EXPECT_EQ(EntrySet(), (std::set<std::string>{p + "/x.jpg|srv|photos", p + "/empty.txt|srv|photos",
                                               p + "/2007/a.jpg|srv|photos/2007",
                                               p + "/2007/deep/b.jpg|srv|photos/2007/deep"}));
  EXPECT_EQ(queue.Size(), 4);  // the link back up is not walked again
}

TEST_F(DropIntake, PackedItemsBecomeOneArchiveBesideThem) {
  std::filesystem::create_directories(dir.File("photos/2007"));
  WriteFile(dir.File("photos/x.jpg"), "xx");
  WriteFile(dir.File("photos/2007/a.jpg"), "aaa");
  std::filesystem::create_directories(dir.File("my.dir"));
  WriteFile(dir.File("my.dir/notes.2007.txt"), "notes");
  ui.zip = true;
  Drop({dir.File("photos"), dir.File("my.dir/notes.2007.txt")});
  EXPECT_EQ(Entries(), (std::vector<std::string>{dir.File("photos.zip") + "|srv|",
                                                 dir.File("my.dir/notes.zip") + "|srv|"}));
  EXPECT_EQ(ArchiveNames(dir.File("photos.zip")), "[('2007/a.jpg', 3), ('x.jpg', 2)]\n");
  EXPECT_EQ(ArchiveNames(dir.File("my.dir/notes.zip")), "[('notes.2007.txt', 5)]\n");
}

TEST_F(DropIntake, ArchivesAreNeverPackedAgain) {
  for (auto n : {"Backup.ZIP", "x.rar", "y.Ace"}) WriteFile(dir.File(n), "PK");
  ui.zip = true;
  Drop({dir.File("Backup.ZIP"), dir.File("x.rar"), dir.File("y.Ace")});
  EXPECT_EQ(Entries(), (std::vector<std::string>{dir.File("Backup.ZIP") + "|srv|", dir.File("x.rar") + "|srv|",
                                                 dir.File("y.Ace") + "|srv|"}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

TEST_F(DropIntake, EmptyFolderEitherWay) {
  std::filesystem::create_directories(dir.File("empty"));
  Drop({dir.File("empty")});
  ui.zip = true;
  Drop({dir.File("empty")});
  EXPECT_EQ(Entries(), (std::vector<std::string>{dir.File("empty") + "|srv|", dir.File("empty.zip") + "|srv|"}));
  EXPECT_EQ(ArchiveNames(dir.File("empty.zip")), "[('empty', 0)]\n");
}

TEST_F(DropIntake, LockedCopyAlwaysUsesTheFirstServer) {
  WriteFile(dir.File("a.txt"), "x");
  flags.lockedMode = true;
  ui.selected = u"";
  Drop({dir.File("a.txt")});
  EXPECT_EQ(Entries(), std::vector<std::string>{dir.File("a.txt") + "|first|"});
}

TEST_F(DropIntake, NothingIsQueuedWithoutAServer) {
  WriteFile(dir.File("a.txt"), "x");
  WriteFile(dir.File("b.txt"), "x");
  ui.selected = u"";
  Drop({dir.File("a.txt"), dir.File("b.txt")});
  ServerTable none;
  IntakeContext context{queue, ring, none, flags, zip, translator, ui, &written, {}};
  ui.selected = u"srv";
  QueueDroppedItems(context, T(dir.File("a.txt")) + u"\r");
  EXPECT_EQ(queue.Size(), 0);
  ASSERT_EQ(ui.errors.size(), 2u);
  for (const auto& e : ui.errors)
    EXPECT_EQ(e, (std::pair<Text, Text>{u"Error", u"Please choose your server setting:"}));
  EXPECT_EQ(ring.FilledCount(), 0);
}

TEST_F(DropIntake, FullQueueOrRingRefusesTheRestWithOneMessage) {
  for (auto n : {"a.txt", "b.txt", "c.txt"}) WriteFile(dir.File(n), "x");
  for (int i = 0; i < UploadQueue::kCapacity - 1; ++i) ASSERT_TRUE(queue.Append(u"old" + IntToText(i) + u"|srv|"));
  Drop({dir.File("a.txt"), dir.File("b.txt"), dir.File("c.txt")});
  EXPECT_EQ(queue.Size(), UploadQueue::kCapacity);
  EXPECT_EQ(Utf16ToUtf8(queue.At(0)->text), "old0|srv|");
  EXPECT_EQ(Utf16ToUtf8(queue.At(UploadQueue::kCapacity - 1)->text), dir.File("a.txt") + "|srv|");
  EXPECT_EQ(ui.errors.size(), 1u);

  // The list's ring full: what it cannot show is not queued either.
  queue.Clear();
  ui.errors.clear();
  ring.ClearSlot(0);
  for (int s = 0; s < UiMessageRing::kSweepEnd - 1; ++s) ASSERT_EQ(ring.Put(u"pending", s), s);
  Drop({dir.File("a.txt"), dir.File("b.txt")});
  EXPECT_EQ(Entries(), std::vector<std::string>{dir.File("a.txt") + "|srv|"});
  EXPECT_EQ(ui.errors.size(), 1u);
}

TEST_F(DropIntake, SameBaseNamesAndUsersArchivesAreKeptApart) {
  WriteFile(dir.File("a.txt"), "text");
  WriteFile(dir.File("a.doc"), "document");
  WriteFile(dir.File("b.txt"), "bee");
  WriteFile(dir.File("b.zip"), "the user's own");
  ui.zip = true;
  Drop({dir.File("a.txt"), dir.File("a.doc"), dir.File("b.txt")});
  EXPECT_EQ(Entries(), (std::vector<std::string>{dir.File("a.zip") + "|srv|", dir.File("a-2.zip") + "|srv|",
                                                 dir.File("b-2.zip") + "|srv|"}));
  EXPECT_EQ(ArchiveNames(dir.File("a.zip")), "[('a.txt', 4)]\n");
  EXPECT_EQ(ArchiveNames(dir.File("a-2.zip")), "[('a.doc', 8)]\n");
  EXPECT_EQ(ReadFile(dir.File("b.zip")), "the user's own");

  // Dropped again, an item's own archive is rebuilt in place ...
  WriteFile(dir.File("a.txt"), "longer text");
  Drop({dir.File("a.txt")});
  EXPECT_EQ(Entries().back(), dir.File("a.zip") + "|srv|");
  EXPECT_EQ(ArchiveNames(dir.File("a.zip")), "[('a.txt', 11)]\n");
  // ... but not once someone else has changed it.
  WriteFile(dir.File("a.zip"), "edited by hand");
  Drop({dir.File("a.txt")});
  EXPECT_EQ(Entries().back(), dir.File("a-3.zip") + "|srv|");
  EXPECT_EQ(ReadFile(dir.File("a.zip")), "edited by hand");
}

TEST_F(DropIntake, ZipFailureSkipsOnlyThatItem) {
  WriteFile(dir.File("a.txt"), "x");
  WriteFile(dir.File("keep.zip"), "PK");
  zip.SetFailBinding(true);
  ui.zip = true;
  Drop({dir.File("a.txt"), dir.File("keep.zip")});
  EXPECT_EQ(Entries(), std::vector<std::string>{dir.File("keep.zip") + "|srv|"});
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0], (std::pair<Text, Text>{u"Error", u"Error while creating Zip file"}));
  EXPECT_FALSE(PathExists(T(dir.File("a.zip"))));
}

TEST_F(DropIntake, LongAndUndeliverableNames) {
  // Well past 499 characters in all.
  std::string longName(200, 'L');
  std::filesystem::create_directories(dir.File(longName + "/" + longName));
  std::string path = dir.File(longName) + "/" + longName + "/" + longName + ".txt";
  WriteFile(path, "x");
  WriteFile(dir.File("a|b.txt"), "x");
  Drop({path, dir.File("a|b.txt")});
  EXPECT_EQ(Entries(), std::vector<std::string>{path + "|srv|"});
  EXPECT_EQ(ui.errors.size(), 1u);
}

}  // namespace
}  // namespace wexmoor
