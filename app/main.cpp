// The program's entry point: start-up, main loop and shutdown live in src/.
#include <memory>
#include <vector>

#include "platform/files.h"
#include "startup/headless_seams.h"
#include "startup/program_state.h"
#include "startup/signal_watch.h"
#include "startup/startup_sequence.h"
#include "ui/window_program.h"
#include "web/updater_image.h"

int main(int argc, char** argv) {
  // Before any thread starts, so that SIGTERM and SIGINT only reach the watch.
  wexmoor::SignalWatch signals;
  auto state = std::make_unique<wexmoor::ProgramState>();
  std::vector<wexmoor::Text> args;
  for (int i = 1; i < argc; ++i) args.push_back(wexmoor::NativeToPath(argv[i]));
  if (wexmoor::StartWindowSystem(argc, argv))
    return wexmoor::RunWindowProgram(*state, signals, wexmoor::UpdaterImage(), args);
  // Without a display the program still uploads its queue and the command line.
  wexmoor::HeadlessSeams seams(*state, &signals, wexmoor::UpdaterImage());
  return wexmoor::RunProgram(*state, seams, args);
}
