// The program with its windows: the start-up steps that need the window
// system (main window, language chooser, welcome window, the 20 ms main loop)
// and the upload worker, update check and network behind them.
#pragma once

#include <vector>

#include "program/instance_channel.h"
#include "program/program_services.h"
#include "program/program_state.h"
#include "program/signal_watch.h"

namespace wexmoor {

// Starts the window system; false when there is no display.
bool StartWindowSystem(int argc, char** argv);

// Runs start-up, the main loop and shutdown with the windows; the exit code.
// Call after StartWindowSystem succeeded. Paths that later starts in the same
// folder hand over through `channel` (may be null) are queued as drops.
int RunWindowProgram(ProgramServices& services, SignalWatch& signals, const std::vector<Text>& args,
                     InstanceChannel* channel = nullptr);

}  // namespace wexmoor
