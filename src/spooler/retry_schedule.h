// How long a failed entry, or a failed server, waits before its next attempt:
// 5 s after the first failure, then 10, 20, 40 ... at most 5 min, each wait
// spread by up to 20 % either way so that many spoolers do not knock in step.
#pragma once

#include <cstdint>
#include <random>

namespace wexmoor {

inline constexpr std::int64_t kFirstRetryMs = 5'000;
inline constexpr std::int64_t kLongestRetryMs = 300'000;

// The wait without jitter after `failures` failures in a row (1 or more).
std::int64_t RetryBaseMs(int failures);
// The wait with jitter: within ±20 % of RetryBaseMs.
std::int64_t RetryDelayMs(int failures, std::mt19937& random);

}  // namespace wexmoor
