#include "spooler/retry_schedule.h"

#include <algorithm>

namespace wexmoor {

std::int64_t RetryBaseMs(int failures) {
  std::int64_t wait = kFirstRetryMs;
  for (int i = 1; i < failures && wait < kLongestRetryMs; ++i) wait *= 2;
  return std::min(wait, kLongestRetryMs);
}

std::int64_t RetryDelayMs(int failures, std::mt19937& random) {
  const std::int64_t base = RetryBaseMs(failures);
  std::uniform_int_distribution<std::int64_t> spread(-base / 5, base / 5);
  return base + spread(random);
}

}  // namespace wexmoor
