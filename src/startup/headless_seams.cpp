#include "startup/headless_seams.h"

#include <iostream>

#include "ftp/control_connection.h"
#include "locked/locked_settings_reader.h"
#include "locked/locked_zones.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "web/pending_update.h"

namespace wexmoor {

HeadlessSeams::HeadlessSeams(ProgramState& state, SignalWatch* signals, std::span<const unsigned char> updaterImage)
    : state_(state), signals_(signals), updaterImage_(updaterImage) {}

bool HeadlessSeams::ReadLockedZone(ServerTable& servers, GlobalOptions& options) {
  return ReadLockedSettings(LockedSettingsArea(), servers, options);
}

bool HeadlessSeams::ApplyPendingUpdate(const GlobalOptions& options) {
  if (updaterImage_.empty()) return false;
  return wexmoor::ApplyPendingUpdate(options.disableUpdates != 0, CurrentDirectory(), OwnExecutablePath(),
                                     updaterImage_);
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
