#include "program/windowless_host.h"

#include <iostream>

#include "platform/code_page.h"
#include "platform/wait.h"

namespace wexmoor {

WindowlessHost::WindowlessHost(ProgramServices& services, SignalWatch* signals, InstanceChannel* channel)
    : services_(services), state_(services.state()), signals_(signals), channel_(channel) {}

WindowlessHost::~WindowlessHost() { TerminateWorker(); }

void WindowlessHost::StartWorker() {
  if (worker_) return;
  workerContext_ = std::make_unique<WorkerContext>(services_.WorkerContextFor(silent_));
  worker_ = std::make_unique<UploadWorker>(*workerContext_);
  worker_->Start();
}

void WindowlessHost::TerminateWorker() {
  if (worker_) worker_->Terminate();
  worker_.reset();
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

void WindowlessHost::QueueCommandLine(const Text& pathList) {
  IntakeContext context = services_.IntakeContextFor(*this);
  QueueDroppedItems(context, pathList);
}

int WindowlessHost::StartNetwork() { return services_.StartNetwork(); }

void WindowlessHost::RunMainLoop() {
  constexpr int kSliceMs = 10;
  while (!state_.flags.quitRequested.load()) {
    DrainRings();
    if (channel_) {
      if (std::optional<Text> paths = channel_->PollPaths()) QueueCommandLine(*paths);
    }
    if (signals_) {
      if (signals_->Wait(kSliceMs)) state_.flags.quitRequested = true;
    } else {
      PauseMs(kSliceMs);
    }
  }
}

void WindowlessHost::Disconnect() { services_.Disconnect(nullptr); }

Text WindowlessHost::SelectedServerName() const { return state_.options.currentServer; }

bool WindowlessHost::ZipChecked() const { return state_.options.zipBeforeUpload != 0; }

void WindowlessHost::ShowError(const Text& title, const Text& message) {
  std::cerr << Utf16ToUtf8(title) << ": " << Utf16ToUtf8(message) << '\n';
}

}  // namespace wexmoor
