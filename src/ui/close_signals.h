// SIGTERM and SIGINT as a request to close: both are blocked for every thread
// from the start and fetched without waiting by the main loop, so they end
// the program through its normal shutdown (settings and queue are saved).
#pragma once

namespace wexmoor {

class CloseSignals {
 public:
  // Blocks the two signals for the calling thread and every thread it starts
  // later. Call first thing in main, before any thread exists.
  CloseSignals();
  // True once either signal has arrived (stays true).
  bool Arrived();

 private:
  bool arrived_ = false;
};

}  // namespace wexmoor
