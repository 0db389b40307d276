#include "program/program_state.h"

#include "platform/files.h"

namespace wexmoor {

ProgramState::ProgramState(Text ipEchoUrl)
    : random(std::random_device{}()), ftp(clock, ports, flags.lastProgressTime, std::move(ipEchoUrl)) {
  ftp.trustAsker = &trustRequests;
  ftp.onTlsConfirmed = [this](const Text& serverName) { RequireTlsFromNowOn(servers, serverName); };
}

Text ProgramState::WorkFolder() const { return workFolder.empty() ? CurrentDirectory() : workFolder; }

}  // namespace wexmoor
