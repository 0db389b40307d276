// Process-wide flags and texts shared between the window's thread and the
// worker threads. One instance lives in the ProgramState made at start-up.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/text.h"

namespace wexmoor {

struct SharedFlags {
  std::atomic<bool> lockedMode{false};
  std::atomic<bool> quitRequested{false};
  // How many FTP sessions (upload worker, remote browser) and web requests
  // run now; each holds its count through a BusyHold.
  std::atomic<int> ftpBusy{0};
  std::atomic<int> webBusy{0};
  // Monotonic seconds of the upload worker's last sign of progress.
  std::atomic<std::int64_t> lastProgressTime{0};
};

// Counts one running session or request in `ftpBusy` or `webBusy` for as
// long as it lives, however the holder ends.
class BusyHold {
 public:
  explicit BusyHold(std::atomic<int>& count) : count_(count) { count_.fetch_add(1); }
  ~BusyHold() { count_.fetch_sub(1); }
  BusyHold(const BusyHold&) = delete;
  BusyHold& operator=(const BusyHold&) = delete;

 private:
  std::atomic<int>& count_;
};

// The logs of every FTP session of this run, shown by the Log window.
class SessionHistory {
 public:
  static constexpr std::size_t kLimit = 30000;
  static constexpr std::size_t kKeep = 20000;

  // Appends `log`; past 30000 characters the history becomes "...\r" and its
  // last 20000 characters.
  void Append(TextView log) {
    std::lock_guard lock(mutex_);
    text_.append(log);
    if (text_.size() > kLimit) text_ = u"...\r" + text_.substr(text_.size() - kKeep);
  }
  Text Get() const {
    std::lock_guard lock(mutex_);
    return text_;
  }

 private:
  mutable std::mutex mutex_;
  Text text_;
};

}  // namespace wexmoor
