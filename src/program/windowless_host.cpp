#include "program/windowless_host.h"

#include <iostream>

#include "platform/code_page.h"
#include "platform/files.h"
#include "settings/settings_store.h"
#include "platform/wait.h"
#include "program/settings_reload.h"

namespace wexmoor {

WindowlessHost::WindowlessHost(ProgramServices& services, SignalWatch* signals, HandOverReceiver* handOvers,
                               bool service, std::ostream* out)
    : services_(services),
      state_(services.state()),
      signals_(signals),
      handOvers_(handOvers),
      service_(service),
      log_(service ? out : nullptr, &services.state().delivery, &services.state().clock) {}

WindowlessHost::~WindowlessHost() { TerminateWorker(); }

void WindowlessHost::StartWorker() {
  if (worker_) return;
  workerContext_ = std::make_unique<WorkerContext>(services_.WorkerContextFor(silent_));
  workerContext_->outcomes = &log_;
  worker_ = std::make_unique<UploadWorker>(*workerContext_, &state_.delivery, state_.delivered);
  if (service_) {
    log_.Line("Wexmoor service started: " + std::to_string(state_.options.watchFolders.size()) +
              " watch folder(s), " + std::to_string(state_.queue.Size()) + " entries queued" +
              (state_.pause.All() ? ", uploads paused" : ""));
  }
  StartWatching();
  worker_->Start();
}

void WindowlessHost::TerminateWorker() {
  if (worker_) worker_->Terminate();
  worker_.reset();
  StopWatching();
}

void WindowlessHost::StartWatching() {
  if (watch_ || state_.options.watchFolders.empty()) return;
  WatchContext context{state_.queue, state_.addRing, state_.clock, SentRecordPath(state_.preferenceFile),
                       [this](const std::string& line) { log_.Line(line); }, ServerExistsIn(state_.servers)};
  watch_ = std::make_unique<WatchFolders>(std::move(context), state_.options.watchFolders);
  log_.SetNext(watch_.get());
  watch_->Start();
}

void WindowlessHost::StopWatching() {
  log_.SetNext(nullptr);
  if (watch_) watch_->Stop();
  watch_.reset();
}

void WindowlessHost::TakeReload() {
  std::optional<AppliedReload> applied = TakeSettingsReload(state_);
  if (!applied) return;
  if (service_) {
    for (const std::string& line : applied->problems) log_.Line(line);
  } else {
    ReportSettingsProblems(applied->problems);
  }
  if (!applied->read) return;
  if (applied->watchFoldersChanged && worker_) {
    StopWatching();
    StartWatching();
  }
  log_.Line(applied->summary);
}

void WindowlessHost::ReportSettingsProblems(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) std::cerr << "Wexmoor: " << line << '\n';
}

void WindowlessHost::TellTrustRequests() {
  while (std::optional<TrustRequest> request = state_.trustRequests.Take()) {
    if (!service_) continue;
    const int slot = state_.servers.FindServer(request->serverName);
    const std::string name = Utf16ToUtf8(request->serverName);
    const std::string fingerprint = Utf16ToUtf8(request->summary.fingerprint);
    const std::string what = request->keyType.empty() ? "certificate" : "host key (" + Utf16ToUtf8(request->keyType) + ")";
    log_.Line("Server " + name + " presents " + (request->changed ? "a changed " : "an untrusted ") + what + " " +
              fingerprint + "; to trust it, add the line \"ServerFingerprint" + std::to_string(slot) + " = " +
              fingerprint + "\" to " + Utf16ToUtf8(state_.preferenceFile) + " (it is read within seconds)");
  }
}

void WindowlessHost::DrainRings() {
  for (UiMessageRing* ring : {&state_.addRing, &state_.removeRing}) {
    if (ring->FilledCount() == 0) continue;
    for (int slot = 0; slot < UiMessageRing::kSweepEnd; ++slot) ring->ClearSlot(slot);
  }
}

bool WindowlessHost::ReadLockedZone(ServerTable& servers, GlobalOptions& options) {
  return services_.ReadLockedZone(servers, options);
}

bool WindowlessHost::ApplyPendingUpdate(const GlobalOptions& options) { return services_.ApplyPendingUpdate(options); }

void WindowlessHost::QueueCommandLine(const Text& pathList) { QueueFor(pathList, state_.commandLineServer); }

void WindowlessHost::QueueFor(const Text& pathList, const Text& server) {
  IntakeContext context = services_.IntakeContextFor(*this);
  context.server = server;
  QueueDroppedItems(context, pathList);
}

void WindowlessHost::QueueHandOvers() {
  if (!handOvers_) return;
  for (const HandOverRequest& request : handOvers_->TakeRequests()) {
    if (request.command == QueueCommand::kNone) QueueFor(request.paths, request.server);
    else if (const std::string said = ApplyQueueCommand(request.command, state_.pause); !said.empty()) log_.Line(said);
  }
}

int WindowlessHost::StartNetwork() { return services_.StartNetwork(); }

void WindowlessHost::RunMainLoop() {
  constexpr int kSliceMs = 10;
  // From now on a later start hears whether its paths can be queued.
  if (handOvers_) handOvers_->SetServerCheck(ServerExistsIn(state_.servers));
  while (!state_.flags.quitRequested.load()) {
    DrainRings();
    TakeReload();
    TellTrustRequests();
    if (handOvers_) {
      handOvers_->NoteChosenServer(state_.flags.lockedMode.load() ? state_.servers.Get(1).name
                                                                  : state_.options.currentServer);
      QueueHandOvers();
    }
    if (signals_) {
      if (signals_->Wait(kSliceMs)) state_.flags.quitRequested = true;
      // The autosave reads the file; the next pass brings it in.
      if (signals_->TakeHangup() && service_ && state_.autosave != nullptr) state_.autosave->RequestReload();
    } else {
      PauseMs(kSliceMs);
    }
  }
  // Later starts now wait for the folder; what was answered is queued, and saved.
  if (handOvers_) {
    handOvers_->Stop();
    QueueHandOvers();
  }
}

void WindowlessHost::Disconnect() { services_.Disconnect(nullptr); }

Text WindowlessHost::SelectedServerName() const { return state_.options.currentServer; }

bool WindowlessHost::ZipChecked() const { return state_.options.zipBeforeUpload != 0; }

void WindowlessHost::ShowError(const Text& title, const Text& message) {
  std::cerr << Utf16ToUtf8(title) << ": " << Utf16ToUtf8(message) << '\n';
}

}  // namespace wexmoor
