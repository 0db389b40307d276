#include "support/wait_for.h"

#include "platform/wait.h"

namespace wexmoor::testing {

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  return WaitUntil(done, limit.count(), {});
}

}  // namespace wexmoor::testing
