#include "bench_support.h"

#include <thread>

namespace wexmoor::bench {

int ListUntil(MainWindowPresenter& pass, const ListOnlyView& view, int expected, double limitSeconds) {
  using Clock = std::chrono::steady_clock;
  Stopwatch watch;
  auto next = Clock::now();
  int passes = 0;
  while (view.QueueCount() < expected && watch.Seconds() < limitSeconds) {
    pass.RunPass();
    ++passes;
    next += std::chrono::milliseconds(20);
    std::this_thread::sleep_until(next);
  }
  return passes;
}

}  // namespace wexmoor::bench
