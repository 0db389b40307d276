// A worker display that runs an action once, on the session's thread, when
// the upload's progress passes a given percentage (to cut a link, kill a
// server ...); everything else it is shown is dropped.
#pragma once

#include <functional>
#include <mutex>
#include <utility>

#include "model/status_target.h"
#include "spooler/worker_display.h"

namespace wexmoor::testing {

class ProgressTriggerDisplay : public WorkerDisplay, public StatusTarget, public ProgressTarget {
 public:
  void SetCurrentFile(const Text&) override {}
  StatusTarget& Status() override { return *this; }
  ProgressTarget& Progress() override { return *this; }
  void SetStatusText(const Text&) override {}
  void SetProgress(int percent) override {
    std::function<void()> run;
    {
      std::lock_guard lock(mutex_);
      if (percent >= percent_ && action_) run = std::exchange(action_, nullptr);
    }
    if (run) run();
  }
  void At(int percent, std::function<void()> action) {
    std::lock_guard lock(mutex_);
    percent_ = percent;
    action_ = std::move(action);
  }

 private:
  std::mutex mutex_;
  int percent_ = 101;
  std::function<void()> action_;
};

}  // namespace wexmoor::testing
