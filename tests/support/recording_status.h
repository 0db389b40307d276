// Status and progress fakes that keep what they were told; the status may be
// written from any thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ftp/status_target.h"
#include "platform/code_page.h"

namespace wexmoor::testing {

class RecordingStatus : public StatusTarget {
 public:
  void SetStatusText(const Text& line) override {
    std::lock_guard lock(mutex_);
    lines_.push_back(Utf16ToUtf8(line));
  }
  // Every line so far, in UTF-8.
  std::vector<std::string> Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

class RecordingProgress : public ProgressTarget {
 public:
  void SetProgress(int percent) override { values.push_back(percent); }
  std::vector<int> values;
};

}  // namespace wexmoor::testing
