#include "model/ui_message_ring.h"

namespace wexmoor {

UiMessageRing::UiMessageRing() : slots_(kSlots) {}

int UiMessageRing::Put(TextView text, int searchFrom) {
  if (text.empty()) return -1;
  std::lock_guard lock(mutex_);
  if (searchFrom < 0) searchFrom = 0;
  for (int s = searchFrom; s < kSweepEnd; ++s) {
    auto& slot = slots_[static_cast<std::size_t>(s)];
    if (slot.empty()) {
      slot.assign(text);
      ++filled_;
      return s;
    }
  }
  return -1;
}

bool UiMessageRing::Peek(int slot, Text& out) const {
  if (slot < 0 || slot >= kSlots) return false;
  std::lock_guard lock(mutex_);
  const auto& s = slots_[static_cast<std::size_t>(slot)];
  if (s.empty()) return false;
  out = s;
  return true;
}

bool UiMessageRing::IsFilled(int slot) const {
  if (slot < 0 || slot >= kSlots) return false;
  std::lock_guard lock(mutex_);
  return !slots_[static_cast<std::size_t>(slot)].empty();
}

void UiMessageRing::ClearSlot(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  std::lock_guard lock(mutex_);
  auto& s = slots_[static_cast<std::size_t>(slot)];
  if (!s.empty()) {
    Text().swap(s);
    --filled_;
  }
}

int UiMessageRing::FilledCount() const {
  std::lock_guard lock(mutex_);
  return filled_;
}

}  // namespace wexmoor
