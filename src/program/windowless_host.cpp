#include "program/windowless_host.h"

#include <iostream>

#include "ftp/control_connection.h"
#include "locked/locked_settings_reader.h"
#include "locked/locked_zones.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "web/pending_update.h"

namespace wexmoor {

HeadlessSeams::HeadlessSeams(ProgramState& state, SignalWatch* signals, std::span<const unsigned char> updaterImage,
                             InstanceChannel* channel)
    : state_(state), signals_(signals), updaterImage_(updaterImage), channel_(channel) {}

HeadlessSeams::~HeadlessSeams() { TerminateWorker(); }

void HeadlessSeams::StartWorker() {
  if (worker_) return;
  workerContext_ = std::make_unique<WorkerContext>(WorkerContext{state_.queue, state_.servers, state_.removeRing,
                                                                 state_.flags, state_.history, state_.ftp,
                                                                 state_.clock, silent_});
  worker_ = std::make_unique<UploadWorker>(*workerContext_);
  worker_->Start();
}

void HeadlessSeams::TerminateWorker() {
  if (worker_) worker_->Terminate();
  worker_.reset();
}

void HeadlessSeams::DrainRings() {
  for (UiMessageRing* ring : {&state_.addRing, &state_.removeRing}) {
    if (ring->FilledCount() == 0) continue;
    for (int slot = 0; slot < UiMessageRing::kSweepEnd; ++slot) ring->ClearSlot(slot);
  }
}

bool HeadlessSeams::ReadLockedZone(ServerTable& servers, GlobalOptions& options) {
  return ReadLockedSettings(LockedSettingsArea(), servers, options);
}

bool HeadlessSeams::ApplyPendingUpdate(const GlobalOptions& options) {
  if (updaterImage_.empty()) return false;
  return wexmoor::ApplyPendingUpdate(options.disableUpdates != 0, state_.WorkFolder(), OwnExecutablePath(),
                                     updaterImage_, state_.installFolder);
}

void HeadlessSeams::QueueCommandLine(const Text& pathList) {
  IntakeContext context{state_.queue, state_.addRing, state_.servers, state_.flags,
                        state_.zip,   state_.translator, *this, &state_.writtenArchives};
  QueueDroppedItems(context, pathList);
}

int HeadlessSeams::StartNetwork() { return wexmoor::StartNetwork(state_.ftp); }

void HeadlessSeams::RunMainLoop() {
  constexpr int kSliceMs = 10;
  while (!state_.flags.quitRequested.load()) {
    DrainRings();
    if (channel_) {
      if (std::optional<Text> paths = channel_->PollPaths()) QueueCommandLine(*paths);
    }
    if (signals_) {
      if (signals_->Wait(kSliceMs)) state_.flags.quitRequested = true;
    } else {
      state_.clock.SleepFor(kSliceMs);
    }
  }
}

void HeadlessSeams::Disconnect() { wexmoor::Disconnect(state_.ftp, nullptr); }

Text HeadlessSeams::SelectedServerName() const { return state_.options.currentServer; }

bool HeadlessSeams::ZipChecked() const { return state_.options.zipBeforeUpload != 0; }

void HeadlessSeams::ShowError(const Text& title, const Text& message) {
  std::cerr << Utf16ToUtf8(title) << ": " << Utf16ToUtf8(message) << '\n';
}

}  // namespace wexmoor
