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
