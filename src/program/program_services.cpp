#include "program/program_services.h"

#include "ftp/control_connection.h"
#include "locked/locked_settings_block.h"
#include "locked/locked_zones.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "settings/file_locations.h"
#include "web/pending_update.h"

namespace wexmoor {
ProgramServices::ProgramServices(ProgramState& state, ProgramEnvironment environment,
                                 std::span<const unsigned char> updaterImage)
    : state_(state), environment_(std::move(environment)), updaterImage_(updaterImage) {
  state_.ftp.SetIpEchoUrl(environment_.ipEchoUrl);
}

ProgramServices::~ProgramServices() { StopUpdateCheck(); }

WorkerContext ProgramServices::WorkerContextFor(WorkerDisplay& display) {
  return WorkerContext{state_.queue, state_.servers, state_.removeRing, state_.flags, state_.history,
                       state_.ftp,   state_.clock,   display,           nullptr,      &state_.sftp,
                       &state_.uploadHistory, &state_.pause, &state_.uploadLimits};
}

IntakeContext ProgramServices::IntakeContextFor(IntakeUi& ui) {
  return IntakeContext{state_.queue, state_.addRing, state_.servers, state_.flags,
                       state_.zip, state_.translator, ui, &state_.writtenArchives, {}};
}

bool ProgramServices::ReadLockedZone(ServerTable& servers, GlobalOptions& options) {
  return ReadLockedSettings(LockedSettingsArea(), servers, options);
}

bool ProgramServices::ApplyPendingUpdate(const GlobalOptions& options) {
  if (updaterImage_.empty()) return false;
  return wexmoor::ApplyPendingUpdate(options.disableUpdates != 0, state_.WorkFolder(), OwnExecutablePath(),
                                     updaterImage_, state_.installFolder);
}

int ProgramServices::StartNetwork() { return wexmoor::StartNetwork(state_.ftp); }

void ProgramServices::Disconnect(StatusTarget* status) {
  state_.ftp.SetStopToken({});
  wexmoor::Disconnect(state_.ftp, status);
}

void ProgramServices::StartUpdateCheck(UpdatePrompts& prompts, int screenWidth, int screenHeight) {
  StopUpdateCheck();
  updateCheck_.reset();
  // The working files' folder, made only when the check has a site to ask.
  if (!environment_.site.empty()) MakeUserFolder(state_.WorkFolder(), 0, false, nullptr);
  http_ = std::make_unique<HttpState>(state_.clock,
                                      HttpOptions{state_.WorkFolder(), 30000, 64u * 1024u * 1024u, &prompts});
  updateContext_ = std::make_unique<UpdateCheckContext>(
      UpdateCheckContext{state_.flags, *http_, prompts, state_.translator, state_.zip, environment_.site,
                         state_.options.disableUpdates != 0, screenWidth, screenHeight, {}, state_.installedCopy});
  updateCheck_ = std::make_unique<UpdateCheck>(*updateContext_);
  updateCheck_->Start();
}

void ProgramServices::RequestUpdateCheckStop() {
  if (updateCheck_) updateCheck_->RequestStop();
}

void ProgramServices::StopUpdateCheck() {
  if (updateCheck_) updateCheck_->Stop();
}

}  // namespace wexmoor
