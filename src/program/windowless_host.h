// Start-up and shutdown without any window: the program loads its settings,
// queues the command line, uploads its queue, takes the paths of later starts
// in its folder, and waits for SIGTERM or SIGINT (or a quit request), then
// saves and ends.
#pragma once

#include <cstddef>
#include <memory>

#include "ftp/status_target.h"
#include "spooler/drop_intake.h"
#include "spooler/upload_worker.h"
#include "spooler/worker_display.h"
#include "program/instance_channel.h"
#include "program/program_services.h"
#include "program/program_state.h"
#include "program/signal_watch.h"
#include "program/startup_seams.h"

namespace wexmoor {

class WindowlessHost : public StartupSeams, private IntakeUi {
 public:
  // `signals` may be null (then only quitRequested ends the loop).
  // `channel`, when given, brings the paths of later starts in this folder.
  WindowlessHost(ProgramServices& services, SignalWatch* signals, InstanceChannel* channel = nullptr);
  ~WindowlessHost() override;

  bool ReadLockedZone(ServerTable& servers, GlobalOptions& options) override;
  bool ApplyPendingUpdate(const GlobalOptions& options) override;
  Text ShowLanguageChooser() override { return {}; }
  std::optional<ScreenSize> Screen() override { return std::nullopt; }
  bool OpenMainWindow(const WindowPosition&) override { return true; }
  void QueueCommandLine(const Text& pathList) override;
  void StartWorker() override;
  void StartUpdateCheck() override {}
  int StartNetwork() override;
  void ShowWelcome() override {}
  void RunMainLoop() override;
  std::optional<Text> ServerListText() override { return std::nullopt; }
  void TerminateWorker() override;
  void Disconnect() override;
  void CloseMainWindow() override {}

 private:
  // Drop intake without a window: the stored current server, the stored zip
  // option, errors on the standard error stream.
  Text SelectedServerName() const override;
  bool ZipChecked() const override;
  void ShowError(const Text& title, const Text& message) override;

  // Without a list to show them in, ring messages are simply taken away.
  void DrainRings();

  // The worker's texts and progress have nowhere to go.
  class Silent final : public WorkerDisplay, public StatusTarget, public ProgressTarget {
   public:
    void SetCurrentFile(const Text&) override {}
    StatusTarget& Status() override { return *this; }
    ProgressTarget& Progress() override { return *this; }
    void SetStatusText(const Text&) override {}
    void SetProgress(int) override {}
  };

  ProgramServices& services_;
  ProgramState& state_;
  SignalWatch* signals_;
  InstanceChannel* channel_;
  Silent silent_;
  std::unique_ptr<WorkerContext> workerContext_;
  std::unique_ptr<UploadWorker> worker_;
};

}  // namespace wexmoor
