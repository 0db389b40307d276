#include "program/program_state.h"

#include "platform/files.h"

namespace wexmoor {

ProgramState::ProgramState(Text ipEchoUrl)
    : random(std::random_device{}()), ftp(clock, ports, flags.lastProgressTime, std::move(ipEchoUrl)) {
  ftp.trustAsker = &trustRequests;
  ftp.onTlsConfirmed = [this](const Text& serverName) { RequireTlsFromNowOn(servers, serverName); };
}

void ApplyUploadLimits(ProgramState& state) {
  state.uploadLimits.SetGlobalKiB(state.options.uploadLimitKiB);
  for (int slot = 0; slot < state.servers.Count(); ++slot) {
    const ServerRecord record = state.servers.Get(slot);
    if (!record.name.empty()) state.uploadLimits.SetServerKiB(record.name, record.uploadLimitKiB);
  }
}

Text ProgramState::WorkFolder() const { return workFolder.empty() ? CurrentDirectory() : workFolder; }

}  // namespace wexmoor
