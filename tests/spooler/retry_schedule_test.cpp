#include "spooler/retry_schedule.h"

#include <gtest/gtest.h>

#include <set>

namespace wexmoor {
namespace {

TEST(RetrySchedule, DoublesFromFiveSecondsToFiveMinutes) {
  std::vector<std::int64_t> waits;
  for (int failures = 1; failures <= 9; ++failures) waits.push_back(RetryBaseMs(failures));
  EXPECT_EQ(waits, (std::vector<std::int64_t>{5000, 10000, 20000, 40000, 80000, 160000, 300000, 300000, 300000}));
  EXPECT_EQ(RetryBaseMs(1'000'000), 300000);
}

TEST(RetrySchedule, JitterStaysWithinAFifthAndVaries) {
  std::mt19937 random(7);
  for (int failures : {1, 4, 12}) {
    const std::int64_t base = RetryBaseMs(failures);
    std::set<std::int64_t> seen;
    for (int i = 0; i < 500; ++i) {
      const std::int64_t wait = RetryDelayMs(failures, random);
      ASSERT_GE(wait, base - base / 5);
      ASSERT_LE(wait, base + base / 5);
      seen.insert(wait);
    }
    EXPECT_GT(seen.size(), 100u) << "waits of many spoolers must not fall in step";
  }
}

}  // namespace
}  // namespace wexmoor
