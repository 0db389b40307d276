#include "model/upload_limits.h"

#include <algorithm>
#include <cmath>

namespace wexmoor {

void RateBucket::SetLimitKiB(int kib) {
  std::lock_guard lock(mutex_);
  kib = std::max(0, kib);
  if (kib == limitKiB_) return;
  if (limitKiB_ == 0) {
    // Switched on: it starts empty, so the first block waits its share.
    tokens_ = 0;
    lastMs_ = clock_.MonotonicMs();
  }
  limitKiB_ = kib;
}

int RateBucket::LimitKiB() const {
  std::lock_guard lock(mutex_);
  return limitKiB_;
}

std::int64_t RateBucket::TryTakeLocked(std::size_t size) {
  if (limitKiB_ <= 0) return 0;
  const double rate = static_cast<double>(limitKiB_) * 1024.0;  // bytes per second
  const std::int64_t now = clock_.MonotonicMs();
  const double want = static_cast<double>(size);
  // At most one block's worth is kept: no burst beyond a block.
  tokens_ = std::min(want, tokens_ + rate * static_cast<double>(now - lastMs_) / 1000.0);
  lastMs_ = now;
  if (tokens_ >= want) {
    tokens_ -= want;
    return 0;
  }
  return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil((want - tokens_) * 1000.0 / rate)));
}

bool RateBucket::Take(std::size_t size, const std::stop_token& stop) {
  for (;;) {
    if (stop.stop_requested()) return false;
    std::int64_t waitMs = 0;
    {
      std::lock_guard lock(mutex_);
      waitMs = TryTakeLocked(size);
    }
    if (waitMs == 0) return true;
    if (!clock_.SleepFor(std::min(waitMs, kMaxSleepMs), stop)) return false;
  }
}

RateBucket& UploadLimits::ServerBucket(const Text& server) {
  std::lock_guard lock(mutex_);
  std::unique_ptr<RateBucket>& bucket = servers_[server];
  if (!bucket) bucket = std::make_unique<RateBucket>(clock_);
  return *bucket;
}

void UploadLimits::SetServerKiB(const Text& server, int kib) { ServerBucket(server).SetLimitKiB(kib); }

int UploadLimits::ServerKiB(const Text& server) const {
  std::lock_guard lock(mutex_);
  auto found = servers_.find(server);
  return found == servers_.end() ? 0 : found->second->LimitKiB();
}

int UploadLimits::EffectiveKiB(const Text& server) const {
  const int global = GlobalKiB();
  const int own = ServerKiB(server);
  if (global == 0) return own;
  if (own == 0) return global;
  return std::min(global, own);
}

bool LimitedSend::BeforeBlock(std::size_t size) { return limits_.Take(server_, size, stop_); }

bool LimitedSend::Applies() const { return limits_.EffectiveKiB(server_) > 0; }

bool UploadLimits::Take(const Text& server, std::size_t size, const std::stop_token& stop) {
  return global_.Take(size, stop) && ServerBucket(server).Take(size, stop);
}

}  // namespace wexmoor
