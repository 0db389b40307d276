// Starting other programs: detached, never waited for, never left as zombies.
#pragma once

#include <string>
#include <vector>

#include "platform/text.h"

namespace wexmoor {

// Starts `program` with `arguments` in `workingDirectory` (empty: the current
// one) and returns at once. The program runs on its own (it is re-parented,
// so it never becomes a zombie of ours). Returns false when it could not be
// started (not found, not executable, no process); nothing is shown.
bool StartProgram(const Text& program, const std::vector<Text>& arguments,
                  const Text& workingDirectory);

}  // namespace wexmoor
