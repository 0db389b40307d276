// The updater program's work: install the files of a downloaded update,
// remove the update folder, restart the program and start what the install
// list asks for. It has no window: a file that cannot be installed is
// reported on the standard error stream. It needs nothing but the C and C++
// libraries, so its few helpers are its own.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace wexmoor::updater {

// The program path as handed over on the command line: "espace" back to " ".
std::string DecodeProgramPath(const std::string& encoded);

// True when `relative` (no "execute:" prefix) is a non-empty relative path
// without ".." that stays inside `cur` after its symbolic links are followed.
bool ItemIsSafe(const std::string& relative, const std::string& cur);

// Starts `program` in `dir` without waiting and without leaving a zombie.
bool StartDetached(const std::string& program, const std::string& dir);

// Installs from `from`/UpdateProg (`cur` when empty): copies each listed file
// over its place below `cur`, removes the update folder, starts
// `programPath` (when not empty) and then each "execute:" item. Messages go
// to `errors`. Returns the number of items that failed.
int InstallUpdate(const std::string& cur, const std::string& programPath, std::ostream& errors,
                  const std::string& from = {});

// Waits (1000 ms, or WEXMOOR_UPDATER_WAIT_MS), then installs into the
// current directory with the decoded first argument as the program and the
// decoded second, when given, as the folder holding UpdateProg. Returns the
// exit code.
int RunUpdater(int argc, char** argv);

}  // namespace wexmoor::updater
