// Start-up and shutdown without any window: the program loads its settings,
// queues the command line, uploads its queue, watches its watch folders,
// takes the paths of later starts in its folder, and waits for SIGTERM or
// SIGINT (or a quit request), then saves and ends.
//
// As a service it also writes one line per entry result on the standard
// output (for the journal) and reloads the preference file on SIGHUP.
#pragma once

#include <cstddef>
#include <memory>

#include "ftp/status_target.h"
#include "spooler/drop_intake.h"
#include "spooler/upload_worker.h"
#include "spooler/watch_folders.h"
#include "spooler/worker_display.h"
#include "program/hand_over_receiver.h"
#include "program/program_services.h"
#include "program/program_state.h"
#include "program/service_log.h"
#include "program/signal_watch.h"
#include "program/startup_seams.h"

namespace wexmoor {

class WindowlessHost : public StartupSeams, private IntakeUi {
 public:
  // `signals` may be null (then only quitRequested ends the loop).
  // `handOvers`, when given, brings the paths of later starts in this folder.
  // `service`: log results on `out` and reload on SIGHUP.
  WindowlessHost(ProgramServices& services, SignalWatch* signals, HandOverReceiver* handOvers = nullptr,
                 bool service = false, std::ostream* out = nullptr);
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
  // On the standard error stream, one line each.
  void ReportSettingsProblems(const std::vector<std::string>& lines) override;

 private:
  // Drop intake without a window: the stored current server, the stored zip
  // option, errors on the standard error stream.
  Text SelectedServerName() const override;
  bool ZipChecked() const override;
  void ShowError(const Text& title, const Text& message) override;

  // Queues a hand-over or the command line for `server` (empty: the stored
  // current server).
  void QueueFor(const Text& pathList, const Text& server);
  // Later starts' paths, each for its server.
  void QueueHandOvers();

  // Certificates and host keys nobody trusts yet: the service says what to
  // add to the preference file (once per fingerprint); without a service
  // nobody can answer, and the request is let go.
  void TellTrustRequests();

  // Without a list to show them in, ring messages are simply taken away.
  void DrainRings();
  void StartWatching();
  void StopWatching();
  // Brings in what the autosave read from the changed preference file:
  // options and watch folders (the servers are in the table already). The
  // running queue stays as it is.
  void TakeReload();

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
  HandOverReceiver* handOvers_;
  Silent silent_;
  std::unique_ptr<WorkerContext> workerContext_;
  std::unique_ptr<UploadWorker> worker_;
  bool service_;
  ServiceLog log_;
  std::unique_ptr<WatchFolders> watch_;
};

}  // namespace wexmoor
