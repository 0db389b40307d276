// SIGTERM and SIGINT as something a loop can poll: the signals are blocked
// and read from a signalfd, so no handler runs at an arbitrary moment and the
// program decides itself what a signal means (a close request).
//
// Make the watch on the main thread before any other thread starts: threads
// inherit the blocked signals, so the signals only ever reach the watch.
#pragma once

#include <signal.h>

namespace wexmoor {

class SignalWatch {
 public:
  SignalWatch();
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  // Waits up to `timeoutMs` (0: just looks); true when SIGTERM or SIGINT
  // arrived.
  bool Wait(int timeoutMs);
  // The descriptor that becomes readable when a signal is waiting (-1 when
  // the watch could not be made).
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  sigset_t previousMask_{};
};

}  // namespace wexmoor
