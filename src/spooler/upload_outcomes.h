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

// Everything the worker knows of one result, for the upload history.
struct UploadRecord {
  std::uint64_t id = 0;
  std::int64_t wallSeconds = 0;  // when the result came (seconds since the epoch)
  UploadResult result = UploadResult::kSent;
  Text reason;  // why it failed or was dropped
  Text server;
  Text localPath;
  Text remotePath;                // below the login folder, with the file's name
  std::int64_t size = -1;         // the local file's size; -1 unknown
  std::int64_t milliseconds = -1; // the attempt's duration; -1 none
  Text verification;              // "sha256:<hex>", "size"; empty: none
  Text link;                      // the file's web address; empty: none
};

// Hears every result with its record (from the worker's threads; returns at once).
class UploadRecorder {
 public:
  virtual ~UploadRecorder() = default;
  virtual void Record(const UploadRecord& record) = 0;
};

}  // namespace wexmoor
