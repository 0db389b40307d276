// Where a worker under test shows its texts: the files it takes in hand (and
// how many), and its status lines; progress is dropped.
#pragma once

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "spooler/worker_display.h"
#include "support/recording_status.h"

namespace wexmoor::testing {

class RecordingWorkerDisplay : public WorkerDisplay, public ProgressTarget {
 public:
  void SetCurrentFile(const Text& name) override {
    std::lock_guard lock(mutex_);
    files_.push_back(name);
    ++turns_;
  }
  StatusTarget& Status() override { return status_; }
  ProgressTarget& Progress() override { return *this; }
  void SetProgress(int) override {}
  void EntryOutcome(std::uint64_t, const Text& entryText, bool uploaded) override {
    std::lock_guard lock(mutex_);
    outcomes_.emplace_back(entryText, uploaded);
  }

  std::vector<Text> Files() const {
    std::lock_guard lock(mutex_);
    return files_;
  }
  // Each attempt's entry text and whether it was uploaded, in order.
  std::vector<std::pair<Text, bool>> Outcomes() const {
    std::lock_guard lock(mutex_);
    return outcomes_;
  }
  // How many entries the worker has taken in hand so far.
  int Turns() const { return turns_.load(); }
  std::vector<std::string> StatusLines() const { return status_.Lines(); }

 private:
  mutable std::mutex mutex_;
  std::vector<Text> files_;
  std::vector<std::pair<Text, bool>> outcomes_;
  std::atomic<int> turns_{0};
  RecordingStatus status_;
};

}  // namespace wexmoor::testing
