// The service's journal: one line on the output for each queue entry's
// result (a failure once, however often it is tried again) and for each thing the watch folders have to say, whole lines only,
// flushed at once. Results are passed on to the watch folders.
#pragma once

#include <mutex>
#include <ostream>
#include <set>
#include <string>

#include "spooler/upload_outcomes.h"

namespace wexmoor {

// "Sent /scans/a.pdf to Office/in", "Failed … (tried again later)",
// "Dropped …: no server named Office".
std::string OutcomeLine(const Text& entryText, UploadResult result);

class ServiceLog final : public UploadOutcomes {
 public:
  // `out` null: nothing is written, results are only passed on.
  explicit ServiceLog(std::ostream* out) : out_(out) {}

  void EntryFinished(std::uint64_t id, const Text& entryText, UploadResult result) override;
  void Line(const std::string& line);
  // Where results go next (null: nowhere).
  void SetNext(UploadOutcomes* next);

 private:
  std::mutex mutex_;
  std::ostream* out_;
  UploadOutcomes* next_ = nullptr;
  // Entries whose failure was told: an entry tried again and again (a server
  // that is down) gives one line, then one when it is sent.
  std::set<std::uint64_t> failed_;
};

}  // namespace wexmoor
