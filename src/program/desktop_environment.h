// The one place that reads the process environment for the desktop set-up:
// home, XDG base folders, the session bus. Everything below gets the values
// passed down.
#pragma once

#include "settings/file_locations.h"

namespace wexmoor {

DesktopEnvironment ReadDesktopEnvironment();

// True when the program file cannot be written by the user or lies under
// /usr: a copy installed by the package manager, which updates it.
bool InstalledByPackageManager(const Text& programPath);

}  // namespace wexmoor
