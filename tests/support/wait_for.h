// Waiting in tests for something another thread or process does: the one
// bounded wait every suite uses (through platform/wait).
#pragma once

#include <chrono>
#include <functional>

namespace wexmoor::testing {

// True as soon as `done()` holds; false when `limit` passed first.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(30));

}  // namespace wexmoor::testing
