// The service's journal: one line on the output for each queue entry's
// result (a failure once, however often it is tried again) and for each thing the watch folders have to say, whole lines only,
// flushed at once. Results are passed on to the watch folders.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <string>

#include "model/delivery_book.h"
#include "platform/clock.h"
#include "spooler/upload_outcomes.h"

namespace wexmoor {

// "Sent /scans/a.pdf to Office/in", "Failed … (tried again later)",
// "Dropped …: no server named Office". A failure's `reason`, when given,
// ends the line after ": ".
std::string OutcomeLine(const Text& entryText, UploadResult result, const Text& reason = {});

class ServiceLog final : public UploadOutcomes {
 public:
  // The same line is written at most once in this time; the next one says
  // how often it came meanwhile.
  static constexpr std::int64_t kRepeatMs = 60'000;

  // `out` null: nothing is written, results are only passed on. With
  // `delivery`, a failure says its reason, and a server that fails says once
  // that it is down and once that it is back. With `clock`, repeated lines
  // are held back (kRepeatMs).
  explicit ServiceLog(std::ostream* out, const DeliveryBook* delivery = nullptr, const Clock* clock = nullptr)
      : out_(out), delivery_(delivery), clock_(clock) {}

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
  void Write(const std::string& line);
  const DeliveryBook* delivery_;
  const Clock* clock_;
  // Servers said to be down, until an upload to them succeeds.
  std::set<Text> down_;
  struct Said {
    std::int64_t atMs = 0;
    int heldBack = 0;
  };
  std::map<std::string, Said> said_;
};

}  // namespace wexmoor
