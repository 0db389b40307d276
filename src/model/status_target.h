// Where the FTP and SFTP engines show their progress: a one-line status text and a
// progress value. The window implements these (handing the values to its own
// thread without waiting); tests fake them.
#pragma once

#include "platform/text.h"

namespace wexmoor {

class StatusTarget {
 public:
  virtual ~StatusTarget() = default;
  // The whole text of the status line.
  virtual void SetStatusText(const Text& line) = 0;
};

class ProgressTarget {
 public:
  virtual ~ProgressTarget() = default;
  // 0 to 100.
  virtual void SetProgress(int percent) = 0;
};

}  // namespace wexmoor
