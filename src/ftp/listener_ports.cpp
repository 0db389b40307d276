#include "ftp/listener_ports.h"

namespace wexmoor {

ListenerPortSequence::ListenerPortSequence(int startOffset)
    : offset_(((startOffset % kPortCount) + kPortCount) % kPortCount) {}

int ListenerPortSequence::Next() {
  std::lock_guard lock(mutex_);
  offset_ = (offset_ + 1) % kPortCount;
  return kBasePort + offset_;
}

int ListenerPortSequence::Current() const {
  std::lock_guard lock(mutex_);
  return kBasePort + offset_;
}

}  // namespace wexmoor
