// What the upload worker shows while it works: the current file, the status
// line and the progress bar. The window implements it by handing the values
// to its own thread; no call ever waits for the window.
#pragma once

#include <cstdint>

#include "ftp/status_target.h"
#include "platform/text.h"

namespace wexmoor {

class WorkerDisplay {
 public:
  virtual ~WorkerDisplay() = default;
  virtual void SetCurrentFile(const Text& name) = 0;
  virtual StatusTarget& Status() = 0;
  virtual ProgressTarget& Progress() = 0;
  // How many files are being uploaded at once; the current file, status and
  // progress are those of the upload that began last.
  virtual void SetFilesInProgress(int /*count*/) {}
  // After each attempt at the queue entry `entryId` (`entryText`): uploaded,
  // or failed and left queued.
  virtual void EntryOutcome(std::uint64_t /*entryId*/, const Text& /*entryText*/, bool /*uploaded*/) {}
};

}  // namespace wexmoor
