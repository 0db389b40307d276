#include "model/delivery_book.h"

#include <gtest/gtest.h>

namespace wexmoor {
namespace {

TEST(PartRecordText, RoundTripAndRefusals) {
  const PartRecord part{52428800, 1765200000};
  EXPECT_EQ(ParsePartRecord(PartRecordText(part)), part);
  EXPECT_EQ(ParsePartRecord(u"0|-5"), (PartRecord{0, -5}));
  for (const char16_t* bad : {u"", u"|", u"12", u"12|", u"|12", u"-1|5", u"1x|5", u"1|5|6", u"99999999999999999999|1"})
    EXPECT_FALSE(ParsePartRecord(bad)) << std::u16string(bad).size();
}

// The owner's fields of a part record, as the preference file and the
// journal keep them; what does not parse leaves the record as it was.
TEST(PartRecordText, OwnerRoundTripAndRefusals) {
  PartRecord part{10, 20};
  part.localMtimeNs = 20'123'456'789;
  part.inode = 987654321;
  part.token = NewPartToken();
  part.remotePath = u"srv|a|b%7C/100% IMG_1.JPG";
  part.renameIssued = true;
  PartRecord read{10, 20};
  ASSERT_TRUE(ParsePartOwner(PartOwnerText(part), read));
  EXPECT_EQ(read, part);
  EXPECT_EQ(part.token.size(), 16u);
  EXPECT_NE(NewPartToken(), part.token);
  for (const char16_t* bad : {u"", u"1|2|0|ab", u"x|2|0|ab|p", u"1|2|2|ab|p", u"1|2|0|AB|p", u"1|2|0|ab|%zz"}) {
    PartRecord untouched{1, 2};
    EXPECT_FALSE(ParsePartOwner(bad, untouched)) << std::u16string(bad).size();
    EXPECT_EQ(untouched, (PartRecord{1, 2}));
  }
}

// A part begun at a remote path is its entry's alone: the other entries'
// records of that path go, records of other paths stay.
TEST(DeliveryBook, APartBegunAtAPathDropsEveryOtherRecordOfIt) {
  DeliveryBook book;
  const auto at = [](const char16_t* path, const char16_t* token) {
    PartRecord part{100, 1};
    part.remotePath = path;
    part.token = token;
    return part;
  };
  book.SetPart(1, at(u"srv|in/IMG_1.JPG", u"aa"));
  book.SetPart(2, at(u"srv|in/other.jpg", u"bb"));
  book.SetPart(3, at(u"srv|in/IMG_1.JPG", u"cc"));
  EXPECT_FALSE(book.Get(1).part.Begun());
  EXPECT_TRUE(book.Get(2).part.Begun());
  EXPECT_EQ(book.Get(3).part.token, u"cc");
  book.SetPart(4, PartRecord{5, 5});  // an older record names no path: nobody else's goes
  EXPECT_TRUE(book.Get(3).part.Begun());
}

TEST(DeliveryBook, WaitsOfEntriesAndServersAndTheirClearing) {
  DeliveryBook book;
  book.EntryFailed(1, u"!!--- cut", 5000, 0);
  book.EntryFailed(1, u"", 10000, 0);
  EXPECT_EQ(book.EntryFailures(1), 2);
  EXPECT_EQ(book.Get(1).lastError, u"!!--- cut") << "an empty error keeps the last one";
  EXPECT_FALSE(book.EntryDue(1, 9999));
  EXPECT_TRUE(book.EntryDue(1, 10000));
  EXPECT_TRUE(book.EntryDue(2, 0)) << "an entry without a record is due";

  book.ServerFailed(u"a", 7000);
  EXPECT_FALSE(book.ServerDue(u"a", 6999));
  EXPECT_TRUE(book.ServerDue(u"b", 0));

  book.ClearWaits();
  EXPECT_TRUE(book.EntryDue(1, 0));
  EXPECT_TRUE(book.ServerDue(u"a", 0));
  EXPECT_EQ(book.Get(1).status, EntryStatus::kQueued);
  EXPECT_EQ(book.EntryFailures(1), 2) << "the schedule goes on where it was";
  book.ServerWorked(u"a");
  EXPECT_EQ(book.ServerFailures(u"a"), 0);
}

TEST(DeliveryBook, OnlyPartChangesCountForTheDisk) {
  DeliveryBook book;
  const std::uint64_t start = book.Changes();
  book.SetStatus(1, EntryStatus::kUploading);
  book.EntryFailed(1, u"x", 1, 1);
  EXPECT_EQ(book.Changes(), start);
  book.SetPart(1, PartRecord{10, 20});
  book.SetPart(1, PartRecord{10, 20});
  EXPECT_EQ(book.Changes(), start + 1);
  book.Forget(2);
  book.Forget(1);
  EXPECT_EQ(book.Changes(), start + 2);
  EXPECT_FALSE(book.Get(1).part.Begun());
}

}  // namespace
}  // namespace wexmoor
