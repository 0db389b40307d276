// The one wait vocabulary: what ends each wait, and what it reports.
#include "platform/wait.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <stop_token>
#include <thread>

namespace wexmoor {
namespace {

class Pipe : public ::testing::Test {
 protected:
  Pipe() { EXPECT_EQ(::pipe(fds_), 0); }
  ~Pipe() override {
    for (int fd : fds_)
      if (fd >= 0) ::close(fd);
  }
  int ReadEnd() const { return fds_[0]; }
  int WriteEnd() const { return fds_[1]; }
  int fds_[2] = {-1, -1};
};

TEST_F(Pipe, DescriptorWaitTellsReadyTimedOutStoppedAndError) {
  EXPECT_EQ(WaitForDescriptor(ReadEnd(), POLLIN, 0), WaitResult::kTimedOut);
  EXPECT_EQ(WaitForDescriptor(ReadEnd(), POLLIN, 20), WaitResult::kTimedOut);
  ASSERT_EQ(::write(WriteEnd(), "x", 1), 1);
  EXPECT_EQ(WaitForDescriptor(ReadEnd(), POLLIN, 0), WaitResult::kReady);

  std::stop_source stop;
  stop.request_stop();
  EXPECT_EQ(WaitForDescriptor(ReadEnd(), POLLIN, 1000, stop.get_token()), WaitResult::kStopped)
      << "a stop request wins over readiness";
  EXPECT_EQ(WaitForDescriptor(-1, POLLIN, 1000), WaitResult::kError);
  ::close(fds_[0]);
  const int closed = fds_[0];
  fds_[0] = -1;
  EXPECT_EQ(WaitForDescriptor(closed, POLLIN, 1000), WaitResult::kError);
}

TEST(Wait, PauseAndConditionEndOnAStopFromAnotherThread) {
  std::stop_source stop;
  std::jthread stopper([&] {
    PauseMs(20);
    stop.request_stop();
  });
  EXPECT_FALSE(PauseMs(600'000, stop.get_token()));
  EXPECT_FALSE(WaitUntil([] { return false; }, -1, stop.get_token())) << "no time limit, but the stop";
  EXPECT_TRUE(PauseMs(0));
}

TEST(Wait, ConditionWaitSeesAnotherThreadsChangeOrGivesUp) {
  std::atomic<bool> set{false};
  std::jthread setter([&] { set = true; });
  EXPECT_TRUE(WaitUntil([&] { return set.load(); }, 60'000, {}));
  EXPECT_FALSE(WaitUntil([] { return false; }, 20, {}));
  EXPECT_TRUE(WaitUntil([] { return true; }, 0, {})) << "a condition already true needs no time";
}

}  // namespace
}  // namespace wexmoor
