// The updater program's work: install the files of a downloaded update,
// remove the update folder, restart the program and start what the install
// list asks for.
#pragma once

namespace wexmoor::updater {

// Runs the updater with its command line; returns the process exit code.
int RunUpdater(int argc, char** argv);

}  // namespace wexmoor::updater
