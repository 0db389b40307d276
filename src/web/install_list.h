// Install items of an update: a path relative to the working directory, or
// "execute:" (any case) and such a path. Items that could reach outside the
// working directory are refused.
#pragma once

#include <vector>

#include "platform/text.h"

namespace wexmoor {

// True when `item` (its "execute:" prefix aside) is a non-empty relative path
// without a ".." component that stays inside `workingDirectory` even after
// its symbolic links are followed. "\" counts as a separator too.
bool InstallItemIsSafe(TextView item, TextView workingDirectory);

// The items that are safe, in order.
std::vector<Text> SafeInstallItems(const std::vector<Text>& items, TextView workingDirectory);

}  // namespace wexmoor
