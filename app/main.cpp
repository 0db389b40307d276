// The program's entry point: start-up, main loop and shutdown live in src/.
#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "locked/locked_zones.h"
#include "platform/files.h"
#include "model/version.h"
#include "program/command_line.h"
#include "program/desktop_environment.h"
#include "program/hand_over_receiver.h"
#include "program/instance_start.h"
#include "program/program_services.h"
#include "program/program_state.h"
#include "program/signal_watch.h"
#include "program/startup_sequence.h"
#include "program/windowless_host.h"
#include "settings/file_locations.h"
#include "ui/window_host.h"
#include "web/updater_image.h"

int main(int argc, char** argv) {
  const wexmoor::CommandLine line =
      wexmoor::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  if (line.exitCode) return *line.exitCode;
  const std::vector<wexmoor::Text>& args = line.paths;
  const bool service = line.service;
  // Before any thread starts, so that SIGTERM and SIGINT (and the service's
  // SIGHUP) only reach the watch.
  wexmoor::SignalWatch signals(service);
  // Likewise the SSH library, once for the process.
  const wexmoor::SftpLibraryScope sftpLibrary;

  // Where the files live: the current folder when it holds the preference
  // file, else the user's configuration and cache folders.
  const bool locked = wexmoor::LockedSettingsArea()[0] != 0;
  const wexmoor::DesktopEnvironment environment = wexmoor::ReadDesktopEnvironment();
  const wexmoor::FileLocations locations =
      wexmoor::ChooseFileLocations(environment, wexmoor::PreferenceFileName(locked));
  if (std::optional<int> code = !line.history ? std::nullopt :
          wexmoor::HandleHistoryOption(argc, argv, locations.historyFile, std::cout, std::cerr))
    return *code;
  std::string folderError;
  const bool foldersReady = wexmoor::PrepareFolders(locations, environment.userId, &folderError);
  if (!foldersReady) std::cerr << "Wexmoor: " << folderError << '\n';
  // --pause, --resume: for the program that runs with these settings.
  if (line.command != wexmoor::QueueCommand::kNone) {
    const int code = foldersReady ? wexmoor::HandOverQueueCommand(locations.runtimeFolder,
                                                                  wexmoor::InstanceName(locations), line.command,
                                                                  std::cerr)
                                  : 1;
    wexmoor::RemoveEmptyFolders(locations);
    return code;
  }

  // One program per preference file: a later start hands its paths to the
  // running one. Without a safe run-time folder the program runs on its own.
  wexmoor::InstanceStart instance;
  // Twice at most: an ending program may remove the empty run-time folder
  // between its making and the claim.
  for (int attempt = 0; foldersReady && attempt < 2 && !instance.channel && !instance.exitCode; ++attempt) {
    if (attempt > 0 && !wexmoor::PrepareFolders(locations, environment.userId, &folderError)) break;
    instance = wexmoor::ClaimOrHandOver(locations.runtimeFolder, wexmoor::InstanceName(locations),
                                        wexmoor::CommandLinePathList(args), std::cerr,
                                        std::chrono::milliseconds(5000), line.server);
  }
  if (instance.exitCode) return *instance.exitCode;
  // Later starts are answered from now on, whatever window is open; their
  // paths wait until the program can queue them.
  std::optional<wexmoor::HandOverReceiver> receiver;
  if (instance.channel) receiver.emplace(*instance.channel);
  wexmoor::HandOverReceiver* handOvers = receiver ? &*receiver : nullptr;

  int code = 0;
  {
    auto state = std::make_unique<wexmoor::ProgramState>();
    wexmoor::ApplyFileLocations(*state, environment, locations, locked, wexmoor::OwnExecutablePath());
    state->commandLineServer = line.server;
    wexmoor::ProgramServices services(*state, wexmoor::ReadProgramEnvironment(), wexmoor::UpdaterImage());
    if (!service && wexmoor::StartWindowSystem(argc, argv)) {
      code = wexmoor::RunWindowProgram(services, signals, args, handOvers);
    } else {
      // Without a display (or as a service) the program still uploads its
      // queue, its watch folders and the command line.
      wexmoor::WindowlessHost host(services, &signals, handOvers, service, &std::cout);
      code = wexmoor::RunProgram(*state, host, args);
    }
  }
  // The receiver answers on the channel: it goes first.
  receiver.reset();
  instance.channel.reset();
  wexmoor::RemoveEmptyFolders(locations);
  return code;
}
