#include "platform/wait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace wexmoor {
namespace {

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int Slice(std::int64_t left) { return static_cast<int>(std::clamp<std::int64_t>(left, 0, kWaitSliceMs)); }

}  // namespace

WaitResult WaitForDescriptor(int fd, short events, std::int64_t timeoutMs, const std::stop_token& stop) {
  if (fd < 0) return WaitResult::kError;
  const std::int64_t end = NowMs() + timeoutMs;
  for (;;) {
    if (stop.stop_requested()) return WaitResult::kStopped;
    const std::int64_t left = end - NowMs();
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, Slice(left));
    if (n < 0) {
      if (errno == EINTR) continue;
      return WaitResult::kError;
    }
    if (n > 0) {
      if (p.revents & POLLNVAL) return WaitResult::kError;
      return WaitResult::kReady;  // ready, or the peer went (the read or send tells)
    }
    if (left <= 0) return WaitResult::kTimedOut;
  }
}

bool PauseMs(std::int64_t ms, const std::stop_token& stop) {
  const std::int64_t end = NowMs() + ms;
  for (;;) {
    if (stop.stop_requested()) return false;
    const std::int64_t left = end - NowMs();
    if (left <= 0) return true;
    ::poll(nullptr, 0, Slice(left));
  }
}

bool WaitUntil(const std::function<bool()>& done, std::int64_t timeoutMs, const std::stop_token& stop) {
  const std::int64_t end = NowMs() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (stop.stop_requested()) return false;
    const std::int64_t left = timeoutMs < 0 ? kWaitSliceMs : end - NowMs();
    if (left <= 0) return false;
    ::poll(nullptr, 0, Slice(left));
  }
}

}  // namespace wexmoor
