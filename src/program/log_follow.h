// What the Log window shows while it follows the current session's log.
#pragma once

#include <cstddef>

#include "platform/text.h"

namespace wexmoor {

// The text the window shows after the log changed: the end that showed the
// previous copy of the log (`previousLogLength` units, at most all of it) is
// cut and the new log appended.
Text FollowLog(const Text& shown, std::size_t previousLogLength, const Text& newLog);

}  // namespace wexmoor
