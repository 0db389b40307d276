// The rotating port numbers of the active-mode listener: base 6000 and an
// offset 0..99 advanced before each use, so the first listener gets 6001, the
// 99th 6099 and the 100th 6000. One sequence serves every session of the
// process so that two sessions never pick the same port at once.
#pragma once

#include <mutex>

namespace wexmoor {

class ListenerPortSequence {
 public:
  static constexpr int kBasePort = 6000;
  static constexpr int kPortCount = 100;

  // `startOffset` lets tests begin elsewhere in the cycle.
  explicit ListenerPortSequence(int startOffset = 0);

  // Advances the offset (wrapping at 100) and returns base + offset.
  int Next();
  // base + the offset last used.
  int Current() const;

 private:
  mutable std::mutex mutex_;
  int offset_ = 0;
};

}  // namespace wexmoor
