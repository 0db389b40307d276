// The program from start to end: start-up, the main loop, shutdown.
#pragma once

#include <vector>

#include "platform/text.h"
#include "program/program_state.h"
#include "program/startup_seams.h"

namespace wexmoor {

inline constexpr TextView kNetworkFailureLine =
    u"Impossible to initialise connection (Internet Access does'nt seem to work)";

// The command-line arguments that name existing files or folders, up to the
// first that names nothing, each followed by "\r".
Text CommandLinePathList(const std::vector<Text>& args);

// Runs start-up, the main loop and shutdown; returns the exit code.
int RunProgram(ProgramState& state, StartupSeams& seams, const std::vector<Text>& args);

}  // namespace wexmoor
