// The worker's own pieces: one session's thread and state (a lane), and the
// display that lets only the upload that began last reach the window.
// Included by the worker's files alone.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "spooler/upload_worker.h"

namespace wexmoor {

// The status line and progress bar of one session: they reach the window only
// while that session's upload is the one that began last.
class UploadWorker::LaneDisplay final : public StatusTarget, public ProgressTarget {
 public:
  LaneDisplay(UploadWorker& worker, Lane& lane) : worker_(worker), lane_(lane) {}
  // Every line gains the mark while a limit holds the session back.
  void SetStatusText(const Text& line) override;
  void SetProgress(int percent) override {
    if (Front()) worker_.context_.display.Progress().SetProgress(percent);
  }

 private:
  bool Front() const {
    std::lock_guard lock(worker_.mutex_);
    return !worker_.stopping_ && worker_.IsFrontLocked(lane_);
  }
  UploadWorker& worker_;
  Lane& lane_;
};

struct UploadWorker::Lane {
  Lane(UploadWorker& worker, Text server, QueueEntry entry)
      : serverName(std::move(server)), first(std::move(entry)), display(worker, *this) {}

  const Text serverName;
  std::optional<QueueEntry> first;
  // Claimed for this lane as the entry after the one in hand, for sessions
  // that overlap small files (OverlapBytes). The lane's thread only.
  std::optional<QueueEntry> next;
  std::atomic<std::int64_t> lastProgress{0};
  ServerRecord record;  // the record the session logged in with
  std::optional<LimitedSend> limit;  // outlives the session that holds it
  std::unique_ptr<UploadSession> session;
  LaneDisplay display;
  // Under the worker's mutex_.
  bool working = false;
  bool finished = false;
  std::uint64_t startedAs = 0;
  // Last, so that it is joined before the rest goes.
  std::jthread thread;
};

inline void UploadWorker::LaneDisplay::SetStatusText(const Text& line) {
  if (!Front()) return;
  const bool limited = lane_.limit && lane_.limit->Applies();
  worker_.context_.display.Status().SetStatusText(limited ? line + Text(kLimitedMark) : line);
}

}  // namespace wexmoor
