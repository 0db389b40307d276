#include "model/conversation_log.h"

namespace wexmoor {

void ConversationLog::Append(TextView lineWithoutCrLf) {
  std::lock_guard lock(mutex_);
  text_.append(lineWithoutCrLf);
  text_.append(u"\r\n");
}

void ConversationLog::Clear() {
  std::lock_guard lock(mutex_);
  text_.clear();
}

Text ConversationLog::Get() const {
  std::lock_guard lock(mutex_);
  return text_;
}

}  // namespace wexmoor
