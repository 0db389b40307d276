// Start-up and shutdown without any window: the program loads its settings,
// queues the command line, starts the network and waits for SIGTERM or SIGINT
// (or a quit request), then saves and ends.
#pragma once

#include <cstddef>
#include <span>

#include "spooler/drop_intake.h"
#include "startup/program_state.h"
#include "startup/signal_watch.h"
#include "startup/startup_seams.h"

namespace wexmoor {

class HeadlessSeams : public StartupSeams, private IntakeUi {
 public:
  // `updaterImage`: the updater's bytes for a pending update (empty: no
  // hand-over). `signals` may be null (then only quitRequested ends the loop).
  HeadlessSeams(ProgramState& state, SignalWatch* signals, std::span<const unsigned char> updaterImage = {});

  bool ReadLockedZone(ServerTable& servers, GlobalOptions& options) override;
  bool ApplyPendingUpdate(const GlobalOptions& options) override;
  Text ShowLanguageChooser() override { return {}; }
  std::optional<ScreenSize> Screen() override { return std::nullopt; }
  bool OpenMainWindow(const WindowPosition&) override { return true; }
  void QueueCommandLine(const Text& pathList) override;
  void StartWorker() override {}
  void StartUpdateCheck() override {}
  int StartNetwork() override;
  void ShowWelcome() override {}
  void RunMainLoop() override;
  std::optional<Text> ServerListText() override { return std::nullopt; }
  void TerminateWorker() override {}
  void Disconnect() override;
  void CloseMainWindow() override {}

 private:
  // Drop intake without a window: the stored current server, the stored zip
  // option, errors on the standard error stream.
  Text SelectedServerName() const override;
  bool ZipChecked() const override;
  void ShowError(const Text& title, const Text& message) override;

  ProgramState& state_;
  SignalWatch* signals_;
  std::span<const unsigned char> updaterImage_;
};

}  // namespace wexmoor
