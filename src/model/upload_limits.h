// Upload rate limits: one token bucket shared by every session (the global
// limit) and one per server shared by that server's sessions. A block waits
// for both, so the lower limit applies. A bucket holds at most one block's
// worth of bytes, so no burst exceeds a block. Limits may change at any time
// and take effect within one wait slice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <utility>

#include "model/transfer_observer.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace wexmoor {

class RateBucket {
 public:
  // The longest single sleep, so that a changed limit or a stop is seen soon.
  static constexpr std::int64_t kMaxSleepMs = 100;

  explicit RateBucket(const Clock& clock) : clock_(clock) {}
  // KiB/s; 0 or less: none.
  void SetLimitKiB(int kib);
  int LimitKiB() const;
  // Waits until `size` bytes may go and takes them; false when the stop was
  // requested first (nothing is taken then).
  bool Take(std::size_t size, const std::stop_token& stop = {});

 private:
  // Takes `size` when the bucket holds it: 0 then; else how long to wait.
  std::int64_t TryTakeLocked(std::size_t size);

  const Clock& clock_;
  mutable std::mutex mutex_;
  int limitKiB_ = 0;
  double tokens_ = 0;
  std::int64_t lastMs_ = 0;
};

class UploadLimits;

// Ends each status line of an upload while a limit holds it back; the window
// takes it off and shows the word beside the file's name.
inline constexpr TextView kLimitedMark = u" (limited)";

// What a session's sending loop is held back by: its server's limit and the
// global one. Made per session with the session's stop token.
class LimitedSend final : public TransferObserver {
 public:
  LimitedSend(UploadLimits& limits, Text server, std::stop_token stop)
      : limits_(limits), server_(std::move(server)), stop_(std::move(stop)) {}
  bool BeforeBlock(std::size_t size) override;
  // Whether a limit holds this session back now.
  bool Applies() const;

 private:
  UploadLimits& limits_;
  const Text server_;
  const std::stop_token stop_;
};

class UploadLimits {
 public:
  explicit UploadLimits(const Clock& clock) : clock_(clock), global_(clock) {}
  UploadLimits(const UploadLimits&) = delete;
  UploadLimits& operator=(const UploadLimits&) = delete;

  void SetGlobalKiB(int kib) { global_.SetLimitKiB(kib); }
  int GlobalKiB() const { return global_.LimitKiB(); }
  void SetServerKiB(const Text& server, int kib);
  int ServerKiB(const Text& server) const;
  // The limit that applies to `server`'s sessions: the lower of the two that
  // are set; 0: none.
  int EffectiveKiB(const Text& server) const;
  // Waits until `size` bytes may go to `server`; false on a stop request.
  bool Take(const Text& server, std::size_t size, const std::stop_token& stop = {});

 private:
  RateBucket& ServerBucket(const Text& server);

  const Clock& clock_;
  RateBucket global_;
  mutable std::mutex mutex_;
  // Never removed while the program runs, so references stay valid.
  std::map<Text, std::unique_ptr<RateBucket>> servers_;
};

}  // namespace wexmoor
