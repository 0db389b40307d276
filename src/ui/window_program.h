// The whole program on wxWidgets: the process-wide objects, start-up, the
// 20 ms main loop and shutdown.
#pragma once

namespace wexmoor {

// Runs the program with its command line; the process's exit code.
int RunWindowProgram(int argc, char** argv);

}  // namespace wexmoor
