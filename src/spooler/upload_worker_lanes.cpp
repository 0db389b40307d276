// The worker's bookkeeping of its sessions: which run, which is in front,
// and which are stopped because they went silent or their server is paused.
#include "spooler/upload_worker.h"

#include <algorithm>
#include <vector>

#include "spooler/upload_lane.h"

namespace wexmoor {

int UploadWorker::SessionCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(lanes_.begin(), lanes_.end(), [](const auto& l) { return !l->finished; }));
}

void UploadWorker::StopSilentLanes() {
  std::vector<std::unique_ptr<Lane>> silent;
  {
    std::lock_guard lock(mutex_);
    const std::int64_t now = context_.clock.MonotonicMs();
    for (auto it = lanes_.begin(); it != lanes_.end();) {
      Lane& lane = **it;
      if (lane.working && !lane.finished && now - lane.lastProgress.load() * 1000 > silenceLimitMs_) {
        silent.push_back(std::move(*it));
        it = lanes_.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Only these sessions stop; their entries stay queued for new ones.
  for (auto& lane : silent) {
    lane->thread.request_stop();
    lane->thread.join();
    ++silentReplaced_;
  }
}

bool UploadWorker::Paused(const Text& serverName) const {
  return context_.pause != nullptr && context_.pause->Holds(serverName);
}

void UploadWorker::StopPausedLanes() {
  if (context_.pause == nullptr) return;
  std::lock_guard lock(mutex_);
  for (const auto& lane : lanes_)
    if (!lane->finished && Paused(lane->serverName)) lane->thread.request_stop();
}

void UploadWorker::ReapLanes(bool all) {
  std::vector<std::unique_ptr<Lane>> done;
  {
    std::lock_guard lock(mutex_);
    for (auto it = lanes_.begin(); it != lanes_.end();) {
      if (all || (*it)->finished) {
        done.push_back(std::move(*it));
        it = lanes_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& lane : done) lane->thread.request_stop();
  for (auto& lane : done) lane->thread.join();
}

bool UploadWorker::PathInFlightLocked(const Text& key) const {
  return std::any_of(claimedPaths_.begin(), claimedPaths_.end(), [&](const auto& claimed) { return claimed.second == key; });
}

int UploadWorker::OthersLocked(const Lane& lane) const {
  return static_cast<int>(std::count_if(lanes_.begin(), lanes_.end(), [&](const auto& other) {
    return other.get() != &lane && other->serverName == lane.serverName && !other->finished;
  }));
}

bool UploadWorker::IsFrontLocked(const Lane& lane) const {
  if (!lane.working) return false;
  return std::none_of(lanes_.begin(), lanes_.end(),
                      [&](const auto& other) { return other->working && other->startedAs > lane.startedAs; });
}

void UploadWorker::SetWorking(Lane& lane, bool working) {
  int count = 0;
  {
    std::lock_guard lock(mutex_);
    if (lane.working == working) return;
    lane.working = working;
    if (working) lane.startedAs = ++startCount_;
    working_ += working ? 1 : -1;
    count = working_;
    // The busy count holds one for each upload in hand.
    if (working) context_.flags.ftpBusy.fetch_add(1);
    else context_.flags.ftpBusy.fetch_sub(1);
    if (stopping_) return;
  }
  context_.display.SetFilesInProgress(count);
}

}  // namespace wexmoor
