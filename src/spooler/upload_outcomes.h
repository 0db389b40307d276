// What became of each queue entry the upload worker took: sent (and removed
// from the queue), failed (it stays queued and is tried again) or dropped
// unsent because its server no longer exists. The worker calls this from its
// own thread; an implementation must return at once and never wait for the
// window.
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace wexmoor {

enum class UploadResult { kSent, kFailed, kDropped };

class UploadOutcomes {
 public:
  virtual ~UploadOutcomes() = default;
  virtual void EntryFinished(std::uint64_t id, const Text& entryText, UploadResult result) = 0;
};

}  // namespace wexmoor
