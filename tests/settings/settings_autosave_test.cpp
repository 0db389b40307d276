#include "settings/settings_autosave.h"

#include <gtest/gtest.h>

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
