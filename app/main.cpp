// The program's entry point: start-up, main loop and shutdown live in src/.
#include <iostream>
#include <memory>
#include <vector>

#include "locked/locked_zones.h"
#include "platform/files.h"
#include "program/command_line.h"
#include "program/windowless_host.h"
#include "program/hand_over_receiver.h"
#include "program/instance_start.h"
#include "program/program_services.h"
#include "program/program_state.h"
#include "program/signal_watch.h"
#include "program/startup_sequence.h"
#include "model/version.h"
#include "ui/window_host.h"
#include "web/updater_image.h"

int main(int argc, char** argv) {
  if (std::optional<int> code = wexmoor::HandleInformationalOptions(argc, argv, std::cout)) return *code;
  std::vector<wexmoor::Text> args;
  for (int i = 1; i < argc; ++i) args.push_back(wexmoor::NativeToPath(argv[i]));
  const bool service = wexmoor::TakeServiceOption(args);
  // Before any thread starts, so that SIGTERM and SIGINT (and the service's
  // SIGHUP) only reach the watch.
  wexmoor::SignalWatch signals(service);
  // One program per folder: a later start hands its paths to the running one.
  wexmoor::InstanceStart instance =
      wexmoor::ClaimOrHandOver(wexmoor::CurrentDirectory(),
                               wexmoor::PreferenceFileName(wexmoor::LockedSettingsArea()[0] != 0),
                               wexmoor::CommandLinePathList(args), std::cerr);
  if (instance.exitCode) return *instance.exitCode;
  // Later starts are answered from now on, whatever window is open; their
  // paths wait until the program can queue them.
  std::optional<wexmoor::HandOverReceiver> receiver;
  if (instance.channel) receiver.emplace(*instance.channel);
  wexmoor::HandOverReceiver* handOvers = receiver ? &*receiver : nullptr;

  auto state = std::make_unique<wexmoor::ProgramState>();
  wexmoor::ProgramServices services(*state, wexmoor::ReadProgramEnvironment(), wexmoor::UpdaterImage());
  if (!service && wexmoor::StartWindowSystem(argc, argv))
    return wexmoor::RunWindowProgram(services, signals, args, handOvers);
  // Without a display (or as a service) the program still uploads its queue,
  // its watch folders and the command line.
  wexmoor::WindowlessHost host(services, &signals, handOvers, service, &std::cout);
  return wexmoor::RunProgram(*state, host, args);
}
