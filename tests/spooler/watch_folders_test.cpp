#include "spooler/watch_folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <filesystem>

#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "platform/files.h"

namespace wexmoor {
namespace {

using testing::TempFolder;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// A watch folder over a temporary tree with a fake clock: Steps see the real
// file events; the settling time and rescans pass when the test says so.
struct Rig {
  TempFolder dir, config;
  UploadQueue queue;
  UiMessageRing ring;
  FakeClock clock;
  std::vector<std::string> logged;
  std::unique_ptr<WatchFolders> watch;
  // Whether the folder's server exists; unset: every one does.
  std::function<bool(const Text&)> serverExists;
  Text recordFile;

  std::string Root() const { return dir.path(); }
  void Start(int after = 0, Text subfolder = u"in") {
    WatchFolderSetting setting{Utf8ToUtf16(Root()), u"Office", subfolder, after};
    watch = std::make_unique<WatchFolders>(
        WatchContext{queue, ring, clock, recordFile.empty() ? Utf8ToUtf16(config.File("Wexmoor.sent")) : recordFile,
                     [this](const std::string& line) { logged.push_back(line); }, serverExists},
        std::vector<WatchFolderSetting>{setting});
    watch->Begin();
  }
  // Lets real events arrive, then time pass.
  void Pass(std::int64_t ms) {
    for (int i = 0; i < 3; ++i) watch->Step(20);
    clock.Advance(ms);
    watch->Step(0);
  }
  std::vector<Text> Queued() const { return queue.Texts(); }
  void Finish(std::size_t index, UploadResult result) {
    auto entry = queue.At(static_cast<int>(index));
    ASSERT_TRUE(entry);
    if (result == UploadResult::kSent) queue.RemoveById(entry->id);
    watch->EntryFinished(entry->id, entry->text, result);
  }
};

TEST(WatchFolders, FileIsQueuedOnceAfterItWasClosedAndStayedTheSameForTwoSeconds) {
  Rig rig;
  rig.Start();
  // Still open for writing: never queued, however long it stays the same.
  const std::string slow = rig.Root() + "/scans/2026/slow.pdf";
  std::filesystem::create_directories(rig.Root() + "/scans/2026");
  FILE* f = std::fopen(slow.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("first half ", f);
  std::fflush(f);
  rig.Pass(10'000);
  EXPECT_TRUE(rig.Queued().empty());
  std::fputs("second half", f);
  std::fclose(f);
  rig.Pass(1'000);
  EXPECT_TRUE(rig.Queued().empty());  // closed, but not yet settled
  rig.Pass(1'100);
  ASSERT_EQ(rig.Queued(), (std::vector<Text>{Utf8ToUtf16(slow) + u"|Office|in/scans/2026"}));
  EXPECT_EQ(rig.ring.FilledCount(), 1);
  // Rescans and later events queue nothing more while it is on its way.
  rig.Pass(WatchFolders::kRescanMs);
  rig.Pass(WatchFolders::kRescanMs);
  EXPECT_EQ(rig.Queued().size(), 1u);
}

TEST(WatchFolders, SkippedNamesEmptyFilesAndTheSentFolderAreNeverQueued) {
  Rig rig;
  for (const char* name : {".hidden", "a.part", "b.TMP", "c.crdownload", "d~", "e|f", "Sent/old.jpg",
                           ".cache/x.jpg"})
    WriteFile(rig.Root() + "/" + name, "data");
  WriteFile(rig.Root() + "/empty.jpg", "");
  WriteFile(rig.Root() + "/keep.jpg", "data");
  rig.Start(0, u"");
  rig.Pass(WatchFolders::kSettleMs);
  EXPECT_EQ(rig.Queued(), (std::vector<Text>{Utf8ToUtf16(rig.Root()) + u"/keep.jpg|Office|"}));
  EXPECT_TRUE(SkippedWatchName("x.Part"));
  EXPECT_FALSE(SkippedWatchName("report.tmp.pdf"));
}

TEST(WatchFolders, SentFilesAreRememberedAcrossRestartsUntilTheyChange) {
  Rig rig;
  WriteFile(rig.Root() + "/a.jpg", "aaaa");
  WriteFile(rig.Root() + "/sub/b.jpg", "bb");
  WriteFile(rig.Root() + "/c.jpg", "cc");
  rig.Start();
  rig.Pass(WatchFolders::kSettleMs);
  ASSERT_EQ(rig.Queued().size(), 3u);
  // a and b are sent; c fails and stays queued across the restart.
  std::vector<Text> texts = rig.Queued();
  auto indexOf = [&](const char* name) {
    for (std::size_t i = 0; i < texts.size(); ++i)
      if (PathToNative(EntryLocalPath(texts[i])).ends_with(name)) return i;
    return texts.size();
  };
  rig.Finish(indexOf("/c.jpg"), UploadResult::kFailed);
  rig.Finish(indexOf("/sub/b.jpg"), UploadResult::kSent);
  rig.Finish(indexOf("/a.jpg") > indexOf("/sub/b.jpg") ? indexOf("/a.jpg") - 1 : indexOf("/a.jpg"),
             UploadResult::kSent);
  rig.Pass(WatchFolders::kSaveDelayMs);
  rig.watch->Finish();
  rig.watch.reset();
  ASSERT_EQ(rig.Queued().size(), 1u);

  // The next run: nothing is queued twice, the entry left in the queue is
  // still the watch's own, and a changed file goes once more.
  rig.Start();
  rig.Pass(WatchFolders::kSettleMs);
  rig.Pass(WatchFolders::kRescanMs);
  EXPECT_EQ(rig.Queued().size(), 1u);
  EXPECT_EQ(rig.watch->InFlight(), 1u);
  WriteFile(rig.Root() + "/a.jpg", "aaaa, edited");
  rig.Pass(WatchFolders::kSettleMs);
  ASSERT_EQ(rig.Queued().size(), 2u);
  EXPECT_EQ(rig.Queued()[1], Utf8ToUtf16(rig.Root()) + u"/a.jpg|Office|in");

  // An entry the user removed is not queued again.
  rig.queue.RemoveAt(1);
  rig.Pass(WatchFolders::kRescanMs);
  rig.Pass(WatchFolders::kRescanMs);
  rig.Pass(WatchFolders::kRescanMs);
  EXPECT_EQ(rig.Queued().size(), 1u);
}

TEST(WatchFolders, AfterOneMovesEachFileIntoSentOnlyOnceItsUploadSucceeded) {
  Rig rig;
  WriteFile(rig.Root() + "/sub/photo.jpg", "new");
  WriteFile(rig.Root() + "/Sent/sub/photo.jpg", "sent yesterday");
  rig.Start(1);
  rig.Pass(WatchFolders::kSettleMs);
  ASSERT_EQ(rig.Queued().size(), 1u);
  rig.Finish(0, UploadResult::kFailed);
  rig.Pass(100);
  EXPECT_TRUE(Exists(rig.Root() + "/sub/photo.jpg"));
  rig.Finish(0, UploadResult::kSent);
  rig.Pass(100);
  EXPECT_FALSE(Exists(rig.Root() + "/sub/photo.jpg"));
  EXPECT_TRUE(Exists(rig.Root() + "/Sent/sub/photo (2).jpg"));
  EXPECT_EQ(FreeNameIn(rig.Root() + "/Sent/sub", "photo.jpg"), rig.Root() + "/Sent/sub/photo (3).jpg");
  // The moved file is not seen as new.
  rig.Pass(WatchFolders::kRescanMs);
  EXPECT_TRUE(rig.Queued().empty());
}

// A file written to after it was queued is not the file the server holds:
// it stays in place and is queued again once it has settled.
TEST(WatchFolders, AfterOneLeavesAFileChangedSinceItsUploadWhereItIs) {
  Rig rig;
  const std::string photo = rig.Root() + "/sub/photo.jpg";
  WriteFile(photo, "first");
  rig.Start(1);
  rig.Pass(WatchFolders::kSettleMs);
  ASSERT_EQ(rig.Queued().size(), 1u);
  WriteFile(photo, "first, then more");
  rig.Finish(0, UploadResult::kSent);
  rig.Pass(100);
  EXPECT_TRUE(Exists(photo));
  EXPECT_FALSE(Exists(rig.Root() + "/Sent/sub/photo.jpg"));
  rig.Pass(WatchFolders::kSettleMs);
  rig.Pass(WatchFolders::kRescanMs);
  EXPECT_EQ(rig.Queued().size(), 1u) << "the changed file goes again";
}

TEST(WatchFolders, FilesWithoutACloseAndUnreadableFoldersAreHandledByTheRescan) {
  Rig rig;
  WriteFile(rig.config.File("elsewhere.jpg"), "linked");
  rig.Start(0, u"");
  // A hard link is made without any close: only the rescan lets it settle.
  ASSERT_EQ(::link(rig.config.File("elsewhere.jpg").c_str(), (rig.Root() + "/linked.jpg").c_str()), 0);
  rig.Pass(WatchFolders::kSettleMs);
  EXPECT_TRUE(rig.Queued().empty());
  rig.Pass(WatchFolders::kRescanMs);
  rig.Pass(WatchFolders::kSettleMs);
  EXPECT_EQ(rig.Queued().size(), 1u);

  Rig missing;
  std::filesystem::remove_all(missing.Root());
  missing.Start();
  ASSERT_EQ(missing.logged.size(), 1u);
  EXPECT_NE(missing.logged[0].find("cannot be read"), std::string::npos);
  // Said once, looked at again at each rescan.
  missing.Pass(WatchFolders::kRescanMs);
  EXPECT_EQ(missing.logged.size(), 1u);
  // The folder appears later: the next rescan watches it.
  WriteFile(missing.Root() + "/late.jpg", "late");
  missing.Pass(WatchFolders::kRescanMs);
  missing.Pass(WatchFolders::kSettleMs);
  EXPECT_EQ(missing.Queued().size(), 1u);
  WriteFile(missing.Root() + "/later.jpg", "later");
  missing.Pass(WatchFolders::kSettleMs);
  EXPECT_EQ(missing.Queued().size(), 2u);
}

TEST(WatchFolders, FilesOfAServerThatDoesNotExistWaitUnsentUntilItDoes) {
  struct Case {
    const char* what;
    bool existsAtFirst;  // else: queued, then dropped by the worker (server deleted)
  };
  for (const Case c : {Case{"never existed", false}, Case{"deleted while queued", true}}) {
    SCOPED_TRACE(c.what);
    Rig rig;
    bool exists = c.existsAtFirst;
    rig.serverExists = [&exists](const Text& name) { return exists && name == u"Office"; };
    rig.Start();
    WriteFile(rig.Root() + "/a.pdf", "a");
    rig.Pass(WatchFolders::kSettleMs);
    if (c.existsAtFirst) {
      ASSERT_EQ(rig.Queued().size(), 1u);
      exists = false;
      rig.Finish(0, UploadResult::kDropped);
      rig.queue.Clear();
    }
    for (int i = 0; i < 3; ++i) rig.Pass(WatchFolders::kSettleMs);
    EXPECT_TRUE(rig.Queued().empty());
    // Said once, and nothing recorded as sent.
    EXPECT_EQ(std::count_if(rig.logged.begin(), rig.logged.end(),
                            [](const std::string& l) { return l.find("no server named \"Office\"") != std::string::npos; }),
              1);
    exists = true;
    rig.Pass(WatchFolders::kSettleMs);
    EXPECT_EQ(rig.Queued().size(), 1u);
  }
}

TEST(WatchFolders, ArrivalsDoNotEndTheServersWaitAndRecordFailuresAreSaidOnce) {
  Rig rig;
  rig.recordFile = Utf8ToUtf16(rig.config.File("no/such/folder/Wexmoor.sent"));
  rig.Start();
  const std::uint64_t ending = rig.queue.WaitEndingAppends();
  for (const char* name : {"/1.txt", "/2.txt", "/3.txt"}) WriteFile(rig.Root() + name, name);
  rig.Pass(WatchFolders::kSettleMs);
  ASSERT_EQ(rig.Queued().size(), 3u);
  EXPECT_EQ(rig.queue.WaitEndingAppends(), ending) << "a watch folder's arrival is no drop";
  rig.queue.Append(u"/dropped|Office|");
  EXPECT_EQ(rig.queue.WaitEndingAppends(), ending + 1);
  // The record cannot be written: said once, however often it is tried.
  for (std::size_t i = 0; i < 3; ++i) rig.Finish(0, UploadResult::kSent);
  for (int i = 0; i < 20; ++i) rig.Pass(WatchFolders::kSaveRetryMs);
  EXPECT_EQ(std::count_if(rig.logged.begin(), rig.logged.end(),
                          [](const std::string& l) { return l.starts_with("Sent record not saved"); }),
            1);
}

}  // namespace
}  // namespace wexmoor
