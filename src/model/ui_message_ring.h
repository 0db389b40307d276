// A ring of 80001 text slots that hands list changes from any thread to the
// window's thread: writers fill a free slot, the main loop sweeps and clears.
// One lock per ring; each slot is written and read as a whole.
#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include "platform/text.h"

namespace wexmoor {

class UiMessageRing {
 public:
  static constexpr int kSlots = 80001;
  // The sweep wraps before this slot; it is never read.
  static constexpr int kSweepEnd = 80000;

  UiMessageRing();

  // Puts `text` into the first free slot at or after `searchFrom` (slot 0 by
  // default) and returns that slot, or -1 when no slot below kSweepEnd is
  // free. `searchFrom` lets a writer of many messages go on where it stopped.
  int Put(TextView text, int searchFrom = 0);
  // The text in `slot`, if any (no allocation for an empty slot).
  bool Peek(int slot, Text& out) const;
  bool IsFilled(int slot) const;
  void ClearSlot(int slot);
  int FilledCount() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Text> slots_;
  int filled_ = 0;
};

}  // namespace wexmoor
