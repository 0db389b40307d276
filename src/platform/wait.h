// Every bounded wait of the program: for a descriptor, for a pause, or for a
// condition another thread sets. Each one polls in slices of at most 10 ms
// and watches a stop token, so none outlives its limit or a stop request by
// more than a slice.
#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>

namespace wexmoor {

// Result of a readiness wait.
enum class WaitResult { kReady, kTimedOut, kStopped, kError };

inline constexpr int kWaitSliceMs = 10;

// Waits at most `timeoutMs` (0: just a check) until `fd` has one of the
// poll() `events`, a hang-up or an error. kError for a closed or invalid `fd`.
WaitResult WaitForDescriptor(int fd, short events, std::int64_t timeoutMs, const std::stop_token& stop = {});

// Sleeps `ms` milliseconds; false when the stop was requested.
bool PauseMs(std::int64_t ms, const std::stop_token& stop = {});

// Waits until `done()` is true (checked every slice): true then; false on a
// stop request or after `timeoutMs` (negative: only a stop ends the wait).
bool WaitUntil(const std::function<bool()>& done, std::int64_t timeoutMs, const std::stop_token& stop);

}  // namespace wexmoor
