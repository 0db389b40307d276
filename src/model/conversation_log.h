// The log of the current FTP session: lines separated (and ended) by CR LF.
// The engine appends while the Log window copies it from another thread.
#pragma once

#include <mutex>

#include "platform/text.h"

namespace wexmoor {

class ConversationLog {
 public:
  // Appends the line and CR LF.
  void Append(TextView lineWithoutCrLf);
  void Clear();
  // A copy of the whole text.
  Text Get() const;

 private:
  mutable std::mutex mutex_;
  Text text_;
};

}  // namespace wexmoor
