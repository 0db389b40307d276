// A worker display that shows nothing: for tests that read the results from
// the queue, the server and the history.
#pragma once

#include "spooler/worker_display.h"

namespace wexmoor::testing {

class SilentWorkerDisplay : public WorkerDisplay, public StatusTarget, public ProgressTarget {
 public:
  void SetCurrentFile(const Text&) override {}
  StatusTarget& Status() override { return *this; }
  ProgressTarget& Progress() override { return *this; }
  void SetStatusText(const Text&) override {}
  void SetProgress(int) override {}
};

}  // namespace wexmoor::testing
