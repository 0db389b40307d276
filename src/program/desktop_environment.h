// The one place that reads the process environment: home, XDG base folders,
// the session bus, the SSH agent (here), and the web site and echo page
// (ReadProgramEnvironment, declared with the services). Everything below gets
// the values passed down.
#pragma once

#include "settings/file_locations.h"
#include "program/program_state.h"

namespace wexmoor {

DesktopEnvironment ReadDesktopEnvironment();

// True when the program file cannot be written by the user or lies under
// /usr: a copy installed by the package manager, which updates it.
bool InstalledByPackageManager(const Text& programPath);

// Gives the program state its file places, update mode and keyring for the
// chosen locations, and SFTP the user's ~/.ssh folder and agent. A locked copy keeps no server passwords, so it opens no
// keyring.
void ApplyFileLocations(ProgramState& state, const DesktopEnvironment& environment, const FileLocations& locations,
                        bool lockedMode, const Text& programPath);

}  // namespace wexmoor
