#include "model/upload_limits.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace wexmoor {
namespace {

constexpr std::size_t kBlock = 64 * 1024;

// The time the blocks take on a driven clock: the rate is the lower of the
// limits set, a change takes effect for the next block, an unset limit holds
// nothing back.
TEST(UploadLimits, BlocksGoAtTheLowerLimit) {
  struct Case {
    const char* name;
    int global, server;
    int blocks;
    int changeAt;        // block before which the global limit becomes changeTo (-1: never)
    int changeTo;
    std::int64_t expectMs;
  } const cases[] = {
      {"global 500", 500, 0, 20, -1, 0, 2560},
      {"server 2000", 0, 2000, 20, -1, 0, 640},
      {"server lower", 8000, 1000, 20, -1, 0, 1280},
      {"global lower", 1000, 8000, 20, -1, 0, 1280},
      {"none", 0, 0, 20, -1, 0, 0},
      {"raised midway", 1000, 0, 20, 10, 2000, 640 + 320},
      {"switched off midway", 1000, 0, 20, 10, 0, 640},
      {"switched on midway", 0, 0, 20, 10, 500, 1280},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    UploadLimits limits(clock);
    limits.SetGlobalKiB(c.global);
    limits.SetServerKiB(u"srv", c.server);
    EXPECT_EQ(limits.EffectiveKiB(u"srv"), c.global == 0 ? c.server : c.server == 0 ? c.global : std::min(c.global, c.server)) << c.name;
    const std::int64_t start = clock.MonotonicMs();
    for (int i = 0; i < c.blocks; ++i) {
      if (i == c.changeAt) limits.SetGlobalKiB(c.changeTo);
      ASSERT_TRUE(limits.Take(u"srv", kBlock)) << c.name;
    }
    EXPECT_NEAR(static_cast<double>(clock.MonotonicMs() - start), static_cast<double>(c.expectMs), 25.0) << c.name;
  }
}

// After an idle spell one block goes at once, never more.
TEST(UploadLimits, BurstIsAtMostOneBlock) {
  FakeClock clock;
  UploadLimits limits(clock);
  limits.SetGlobalKiB(1000);
  clock.Advance(10'000);
  std::int64_t start = clock.MonotonicMs();
  ASSERT_TRUE(limits.Take(u"srv", kBlock));
  EXPECT_EQ(clock.MonotonicMs(), start);
  ASSERT_TRUE(limits.Take(u"srv", kBlock));
  EXPECT_NEAR(static_cast<double>(clock.MonotonicMs() - start), 64.0, 2.0);
  EXPECT_EQ(limits.ServerKiB(u"other"), 0);
}

// A stop ends a wait at once and takes nothing.
TEST(UploadLimits, StopEndsTheWait) {
  FakeClock clock;
  UploadLimits limits(clock);
  limits.SetGlobalKiB(1);
  std::stop_source stop;
  stop.request_stop();
  EXPECT_FALSE(limits.Take(u"srv", kBlock, stop.get_token()));
  std::stop_source later;
  std::jthread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    later.request_stop();
  });
  // A day's wait at 1 KiB/s; only the stop ends it.
  EXPECT_FALSE(limits.Take(u"srv", 86'400u * 1024u, later.get_token()));
}

}  // namespace
}  // namespace wexmoor
