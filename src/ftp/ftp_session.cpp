#include "ftp/ftp_session.h"

#include "platform/code_page.h"
#include "platform/socket.h"

namespace wexmoor {

FtpSession::FtpSession(const Clock& clock, ListenerPortSequence& ports,
                       std::atomic<std::int64_t>& lastProgressTime, Text ipEchoUrl)
    : clock_(clock), ports_(ports), lastProgressTime_(lastProgressTime), ipEchoUrl_(std::move(ipEchoUrl)) {}

FtpSession::~FtpSession() { CloseAllSockets(); }

void FtpSession::SetStopToken(std::stop_token stop) { stop_ = std::move(stop); }

void FtpSession::CloseAllSockets() {
  if (dataConnection != 0 && dataConnectionKind == u"server") CloseSocket(dataConnection);
  dataConnection = 0;
  for (int client : acceptedClients) CloseSocket(client);
  acceptedClients.clear();
  if (listener != 0) CloseSocket(listener);
  listener = 0;
  int control = controlConnection_.exchange(0);
  if (control != 0) CloseSocket(control);
}

bool FtpSession::StopNoticed() {
  if (!stop_.stop_requested()) return false;
  CloseAllSockets();
  return true;
}

}  // namespace wexmoor
