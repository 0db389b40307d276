#include "settings/settings_autosave.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "settings/delivered_journal.h"
#include "settings/settings_store.h"

namespace wexmoor {
namespace {

using testing::TempFolder;

struct Loaded {
  ServerTable servers;
  GlobalOptions options;
  UploadQueue queue;
  UiMessageRing ring;
  DeliveryBook delivery;
  explicit Loaded(const Text& path) { LoadSettings(path, false, servers, options, queue, ring, &delivery); }
};

class Autosave : public ::testing::Test {
 protected:
  Text Path() const { return Utf8ToUtf16(folder.File("Wexmoor.prefs")); }
  TempFolder folder;
  ServerTable servers;
  UploadQueue queue;
  DeliveryBook delivery;
  FakeClock clock;
  GlobalOptions options;
  SettingsAutosave saver{AutosaveSources{Path(), false, servers, queue, delivery, clock}, options};
};

TEST_F(Autosave, EveryKindOfChangeReachesTheFileAndNothingElseWrites) {
  EXPECT_FALSE(saver.SaveIfDue()) << "no change, no write";
  EXPECT_FALSE(PathExists(Path()));

  const std::uint64_t id = *queue.Append(u"/d/a.bin|srv|sub");
  EXPECT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(Loaded(Path()).queue.Texts(), queue.Texts());

  // The part begun for an entry comes back with it.
  clock.Advance(2000);
  delivery.SetPart(id, PartRecord{4096, 1765000000});
  EXPECT_TRUE(saver.SaveIfDue());
  Loaded withPart(Path());
  EXPECT_EQ(withPart.delivery.Get(withPart.queue.At(0)->id).part, (PartRecord{4096, 1765000000}));

  clock.Advance(2000);
  ServerRecord record;
  record.name = u"srv";
  record.tempName = 0;
  servers.Set(1, record);
  EXPECT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(Loaded(Path()).servers.Get(1).tempName, 0);

  clock.Advance(2000);
  GlobalOptions changed = options;
  changed.language = u"Deutsch";
  saver.OfferOptions(changed);
  EXPECT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(Loaded(Path()).options.language, u"Deutsch");

  clock.Advance(2000);
  queue.RemoveById(id);
  EXPECT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(Loaded(Path()).queue.Size(), 0);
  EXPECT_EQ(saver.Saves(), 5u);
}

TEST_F(Autosave, ChangesInQuickSuccessionShareOneSave) {
  queue.Append(u"/d/1|srv|");
  ASSERT_TRUE(saver.SaveIfDue());
  for (int i = 0; i < 50; ++i) {
    queue.Append(u"/d/x|srv|");
    clock.Advance(10);
    saver.SaveIfDue();
  }
  // Within the gap after a save nothing is written; once it passed, one save
  // takes every change.
  EXPECT_LE(saver.Saves(), 3u);
  clock.Advance(SettingsAutosave::kLongestGapMs);
  saver.SaveIfDue();
  EXPECT_EQ(Loaded(Path()).queue.Size(), 51);
  EXPECT_FALSE(saver.SaveIfDue());
}

// With the journal, a draining queue reaches the disk through appended lines
// alone; what the journal cannot say (a removal by the user, a new entry, an
// option) brings a whole save, which empties the journal. After a crash the
// file and the journal together give the queue and the parts.
TEST(AutosaveJournal, DeliveriesAndPartsAreAppendedOtherChangesRewriteTheFile) {
  TempFolder folder;
  const Text path = Utf8ToUtf16(folder.File("Wexmoor.prefs"));
  std::vector<Text> locals;
  for (const char* name : {"a", "b", "c", "d"}) {
    locals.push_back(Utf8ToUtf16(folder.File(name)));
    ASSERT_TRUE(WriteWholeFile(locals.back(), name));
  }
  ServerTable servers;
  UploadQueue queue;
  DeliveryBook delivery;
  FakeClock clock;
  GlobalOptions options;
  std::vector<std::uint64_t> ids;
  for (const Text& local : locals) ids.push_back(*queue.Append(local + u"|srv|"));
  std::mt19937 random;
  ASSERT_TRUE(SaveSettings(path, false, servers, options, queue, std::nullopt, random, nullptr, &delivery));
  DeliveredJournal journal(DeliveredJournalPath(path));
  SettingsAutosave saver(AutosaveSources{path, false, servers, queue, delivery, clock}, options, &journal);
  const std::string wholeFile = ReadWholeFile(path).value();
  const auto deliver = [&](std::size_t i) {
    ASSERT_TRUE(journal.Add(queue.At(queue.FindById(ids[i]))->text,
                            PartRecord{FileSize(locals[i]), *FileModificationTime(locals[i])}, ids[i]));
    queue.RemoveById(ids[i]);
    delivery.Forget(ids[i]);
  };
  const auto atNextStart = [&](DeliveryBook* parts) {
    Loaded loaded(path);
    DeliveredJournal(DeliveredJournalPath(path)).DropDelivered(loaded.queue, loaded.ring, parts);
    return loaded.queue.Texts();
  };

  delivery.SetPart(ids[0], PartRecord{1, 100});
  deliver(0);
  delivery.SetPart(ids[1], PartRecord{1, 200});
  clock.Advance(SettingsAutosave::kPollMs);
  EXPECT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(saver.Saves(), 0u);
  EXPECT_EQ(ReadWholeFile(path).value(), wholeFile) << "the preference file is not rewritten";
  EXPECT_EQ(saver.DurableGeneration(), saver.Generation());
  DeliveryBook parts;
  EXPECT_EQ(atNextStart(&parts), (std::vector<Text>{queue.Texts()}));
  // The part begun for b comes back with it after a crash.
  EXPECT_EQ(parts.BegunParts().size(), 1u);
  EXPECT_EQ(parts.BegunParts()[0].second, (PartRecord{1, 200}));

  // A part dropped is said too.
  delivery.SetPart(ids[1], PartRecord{});
  EXPECT_TRUE(saver.SaveIfDue());
  DeliveryBook none;
  atNextStart(&none);
  EXPECT_TRUE(none.BegunParts().empty());

  // The user removes c: only a whole save says that; it ends the journal.
  queue.RemoveById(ids[2]);
  clock.Advance(SettingsAutosave::kLongestGapMs);
  EXPECT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(saver.Saves(), 1u);
  EXPECT_EQ(journal.Count(), 0u);
  EXPECT_EQ(Loaded(path).queue.Texts(), queue.Texts()) << "the file alone holds the queue";

  // A new entry and an option change also need the whole file.
  deliver(3);
  queue.Append(locals[0] + u"|srv|");
  GlobalOptions changed = options;
  changed.notifications = 0;
  saver.OfferOptions(changed);
  clock.Advance(SettingsAutosave::kLongestGapMs);
  EXPECT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(saver.Saves(), 2u);
  Loaded loaded(path);
  EXPECT_EQ(loaded.queue.Texts(), queue.Texts());
  EXPECT_EQ(loaded.options.notifications, 0);
  EXPECT_FALSE(saver.SaveIfDue());

  // The worker writes a delivery down before the entry leaves the queue: a
  // whole save in between still holds the entry, so the line must stay.
  const std::uint64_t last = queue.At(queue.Size() - 1)->id;
  ASSERT_TRUE(journal.Add(locals[0] + u"|srv|", PartRecord{FileSize(locals[0]), *FileModificationTime(locals[0])}, last));
  queue.Append(locals[1] + u"|srv|");
  clock.Advance(SettingsAutosave::kLongestGapMs);
  ASSERT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(saver.Saves(), 3u);
  queue.RemoveById(last);
  EXPECT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(saver.Saves(), 3u) << "the removal is in the journal";
  EXPECT_EQ(atNextStart(nullptr), queue.Texts());

  // A move needs the whole file (the order is in it); deliveries after it go
  // to the journal again, the queue staying out of identity order.
  queue.Append(locals[2] + u"|srv|");
  const std::uint64_t moved = *queue.Append(locals[3] + u"|srv|");
  queue.Move({moved}, true);
  clock.Advance(SettingsAutosave::kLongestGapMs);
  ASSERT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(saver.Saves(), 4u);
  EXPECT_EQ(Loaded(path).queue.Texts(), queue.Texts());
  deliver(1);
  EXPECT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(saver.Saves(), 4u) << "a delivery after a move is in the journal";
  EXPECT_EQ(atNextStart(nullptr), queue.Texts());
}

// While the file cannot be written (its owner made it read-only), the journal
// keeps the entries added and removed, so that a kill loses none of them;
// the first whole save that succeeds holds the queue and ends those lines.
TEST(AutosaveJournal, AReadOnlyFileKeepsTheQueueInTheJournalUntilASaveSucceeds) {
  TempFolder folder;
  const Text path = Utf8ToUtf16(folder.File("Wexmoor.prefs"));
  const Text local = Utf8ToUtf16(folder.File("a"));
  ASSERT_TRUE(WriteWholeFile(local, "a"));
  ServerTable servers;
  UploadQueue queue;
  DeliveryBook delivery;
  FakeClock clock;
  GlobalOptions options;
  const std::uint64_t a = *queue.Append(local + u"|srv|"), b = *queue.Append(u"/d/b|srv|");
  std::mt19937 random;
  ASSERT_TRUE(SaveSettings(path, false, servers, options, queue, std::nullopt, random, nullptr, &delivery));
  ASSERT_EQ(::chmod(PathToNative(path).c_str(), 0444), 0);
  const std::string before = ReadWholeFile(path).value();
  DeliveredJournal journal(DeliveredJournalPath(path));
  SettingsAutosave saver(AutosaveSources{path, false, servers, queue, delivery, clock}, options, &journal);
  const auto atNextStart = [&] {
    Loaded loaded(path);
    UiMessageRing added;
    DeliveredJournal(DeliveredJournalPath(path)).DropDelivered(loaded.queue, loaded.ring, nullptr, &added);
    return std::pair{loaded.queue.Texts(), added.FilledCount()};
  };

  for (const char16_t* name : {u"/d/c|srv|", u"/d/d|srv|", u"/d/e|srv|"}) queue.Append(name);
  queue.RemoveById(b);  // by the user
  EXPECT_TRUE(saver.SaveIfDue()) << "the journal took the changes";
  EXPECT_NE(saver.LastError().find("read-only"), std::string::npos) << saver.LastError();
  EXPECT_EQ(ReadWholeFile(path).value(), before);
  EXPECT_EQ(saver.DurableGeneration(), saver.Generation());
  EXPECT_EQ(atNextStart(), std::pair(queue.Texts(), 3));

  // Within the gap after the failed save, a change still goes to the
  // journal at once; a delivery keeps its own line.
  clock.Advance(SettingsAutosave::kPollMs);
  ASSERT_TRUE(journal.Add(local + u"|srv|", PartRecord{FileSize(local), *FileModificationTime(local)}, a));
  queue.RemoveById(a);
  const std::uint64_t f = *queue.Append(u"/d/f|srv|");
  EXPECT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(saver.Saves(), 0u);
  EXPECT_EQ(atNextStart().first, queue.Texts());
  EXPECT_EQ(journal.Read().size(), 1u) << "entry lines are not deliveries";

  // The last save at exit fails too: what changed since the last look goes
  // to the journal.
  queue.RemoveById(f);
  queue.Append(u"/d/g|srv|");
  EXPECT_TRUE(saver.KeepQueueInJournal());
  EXPECT_EQ(atNextStart().first, queue.Texts());

  // Writable again: the next try holds the whole queue; the lines are gone.
  ASSERT_EQ(::chmod(PathToNative(path).c_str(), 0644), 0);
  clock.Advance(SettingsAutosave::kFailedSaveGapMs);
  EXPECT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(saver.Saves(), 1u);
  EXPECT_FALSE(PathExists(DeliveredJournalPath(path)));
  EXPECT_EQ(Loaded(path).queue.Texts(), queue.Texts());
}

// Start-up applies the journal's lines in order over the file's queue; a
// line about a text is about the first entry with that text still there.
TEST(DeliveredJournalTest, EntryLinesApplyInOrderOverTheFilesQueue) {
  TempFolder folder;
  const Text sent = Utf8ToUtf16(folder.File("sent"));
  ASSERT_TRUE(WriteWholeFile(sent, "s"));
  const std::string delivered =
      std::to_string(FileSize(sent)) + "|" + std::to_string(*FileModificationTime(sent)) + "|" + Utf16ToUtf8(sent);
  struct Case {
    const char* what;
    std::vector<std::string> file;
    std::string journal;
    std::vector<std::string> queue;
    int added;    // shown through the add ring
    int removed;  // of the file's entries
  };
  const std::string s = Utf16ToUtf8(sent);
  const Case cases[] = {
      {"added", {"/x|a|"}, "A|0|0|/y|a|\nA|0|0|/z|a|\n", {"/x|a|", "/y|a|", "/z|a|"}, 2, 0},
      {"removed from the file", {"/x|a|", "/y|a|"}, "R|0|0|/x|a|\n", {"/y|a|"}, 0, 1},
      {"the first of two", {"/x|a|", "/y|a|", "/x|a|"}, "R|0|0|/x|a|\n", {"/y|a|", "/x|a|"}, 0, 1},
      {"added, then removed", {}, "A|0|0|/y|a|\nR|0|0|/y|a|\n", {}, 0, 0},
      {"removed, then added again", {"/x|a|"}, "R|0|0|/x|a|\nA|0|0|/x|a|\n", {"/x|a|"}, 1, 1},
      {"added, then delivered", {}, "A|0|0|" + s + "\n" + delivered + "\n", {}, 0, 0},
      {"nothing to remove", {"/x|a|"}, "R|0|0|/y|a|\n", {"/x|a|"}, 0, 0},
      {"torn and malformed lines", {}, "A|0|/y|a|\nA|0|0|/z|a|", {}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Text path = Utf8ToUtf16(folder.File("journal"));
    ASSERT_TRUE(WriteWholeFile(path, c.journal));
    UploadQueue queue;
    UiMessageRing added, removed;
    for (const std::string& entry : c.file) queue.Append(Utf8ToUtf16(entry));
    EXPECT_EQ(DeliveredJournal(path).DropDelivered(queue, removed, nullptr, &added), c.removed);
    std::vector<std::string> texts;
    for (const Text& text : queue.Texts()) texts.push_back(Utf16ToUtf8(text));
    EXPECT_EQ(texts, c.queue);
    EXPECT_EQ(added.FilledCount(), c.added);
    EXPECT_EQ(removed.FilledCount(), c.removed);
  }
}

// A part's owner reaches the journal and the preference file and comes back;
// a journal of an older version (P lines) is still read.
TEST(DeliveredJournalTest, PartOwnersComeBackFromTheJournalAndThePreferenceFile) {
  TempFolder folder;
  const Text prefs = Utf8ToUtf16(folder.File("Wexmoor.prefs"));
  const Text a = Utf8ToUtf16(folder.File("a.txt")) + u"|srv|";
  const Text b = Utf8ToUtf16(folder.File("b.txt")) + u"|srv|";
  PartRecord owned{4096, 1765000000};
  owned.localMtimeNs = 1765000000'000000123;
  owned.inode = 77;
  owned.token = u"00ff00ff00ff00ff";
  owned.remotePath = u"srv|in|x/a.txt";
  owned.renameIssued = true;
  {
    DeliveredJournal journal(DeliveredJournalPath(prefs));
    ASSERT_TRUE(journal.AddPart(a, owned));
  }
  // An older program's line for b.
  const Text journalPath = DeliveredJournalPath(prefs);
  ASSERT_TRUE(WriteWholeFile(journalPath, ReadWholeFile(journalPath).value() + "P|10|20|" + Utf16ToUtf8(b) + "\n"));
  UploadQueue queue;
  UiMessageRing ring;
  const std::uint64_t idA = *queue.Append(a), idB = *queue.Append(b);
  DeliveryBook book;
  DeliveredJournal(journalPath).DropDelivered(queue, ring, &book);
  EXPECT_EQ(book.Get(idA).part, owned);
  EXPECT_EQ(book.Get(idB).part, (PartRecord{10, 20}));

  ServerTable servers;
  GlobalOptions options;
  std::mt19937 random;
  ASSERT_TRUE(SaveSettings(prefs, false, servers, options, queue, std::nullopt, random, nullptr, &book));
  const std::string file = ReadWholeFile(prefs).value();
  EXPECT_NE(file.find("4096|1765000000"), std::string::npos) << "the old key keeps its form";
  Loaded loaded(prefs);
  EXPECT_EQ(loaded.delivery.Get(loaded.queue.At(0)->id).part, owned);
  EXPECT_EQ(loaded.delivery.Get(loaded.queue.At(1)->id).part, (PartRecord{10, 20}));
}

TEST(DeliveredJournalTest, DropsOnlyUnchangedDeliveredEntriesAndTornLines) {
  TempFolder folder;
  const Text a = Utf8ToUtf16(folder.File("a.txt")), b = Utf8ToUtf16(folder.File("b.txt"));
  ASSERT_TRUE(WriteWholeFile(a, "aaa"));
  ASSERT_TRUE(WriteWholeFile(b, "bbb"));
  const Text path = DeliveredJournalPath(Utf8ToUtf16(folder.File("Wexmoor.prefs")));
  DeliveredJournal journal(path);
  const auto record = [](const Text& p) { return PartRecord{FileSize(p), *FileModificationTime(p)}; };
  ASSERT_TRUE(journal.Add(a + u"|srv|", record(a)));
  ASSERT_TRUE(journal.Add(b + u"|srv|", PartRecord{3, record(b).localMtime - 100}));  // b changed since
  // A line cut short by a crash is no line.
  ASSERT_TRUE(WriteWholeFile(path, ReadWholeFile(path).value() + "3|17|/d/torn"));
  EXPECT_EQ(journal.Count(), 2u);

  UploadQueue queue;
  UiMessageRing ring;
  queue.Append(a + u"|srv|");
  queue.Append(b + u"|srv|");
  queue.Append(a + u"|other|");
  EXPECT_EQ(journal.DropDelivered(queue, ring), 1);
  EXPECT_EQ(queue.Texts(), (std::vector<Text>{b + u"|srv|", a + u"|other|"}));

  journal.DropFirst(1);
  ASSERT_EQ(journal.Read().size(), 1u);
  EXPECT_EQ(journal.Read()[0].first, b + u"|srv|");
  journal.DropFirst(5);
  EXPECT_FALSE(PathExists(path));
}

}  // namespace
}  // namespace wexmoor
