#include "ftp/ftp_session.h"

#include "platform/code_page.h"
#include "platform/socket.h"

namespace wexmoor {

FtpSession::FtpSession(const Clock& clock, ListenerPortSequence& ports,
                       std::atomic<std::int64_t>& lastProgressTime, Text ipEchoUrl)
    : clock_(clock), ports_(ports), lastProgressTime_(lastProgressTime), ipEchoUrl_(std::move(ipEchoUrl)) {}

FtpSession::~FtpSession() { CloseAllSockets(); }

void FtpSession::SetStopToken(std::stop_token stop) { stop_ = std::move(stop); }

TlsContext& FtpSession::tls() {
  if (tls_ == nullptr) {
    tls_ = std::make_unique<TlsContext>(tlsCaFile_);
    if (tlsMaxVersion_ != 0) tls_->SetMaxVersion(tlsMaxVersion_);
  }
  return *tls_;
}

void FtpSession::SetTlsTestOptions(std::string extraCaFile, int maxVersion) {
  tlsCaFile_ = std::move(extraCaFile);
  tlsMaxVersion_ = maxVersion;
  tls_.reset();
}

TlsStream* FtpSession::TlsOf(int handle) const {
  if (handle == 0) return nullptr;
  if (dataTls != nullptr && dataTls->handle() == handle) return dataTls.get();
  if (controlTls != nullptr && controlTls->handle() == handle) return controlTls.get();
  return nullptr;
}

void FtpSession::EndControlTls() {
  dataTls.reset();
  controlTls.reset();
  dataProtected = false;
  tlsFingerprint.clear();
  if (tls_ != nullptr) tls_->Forget();
}

void FtpSession::CloseAllSockets() {
  dataTls.reset();
  if (dataConnection != 0 && dataConnectionKind == u"server") CloseSocket(dataConnection);
  dataConnection = 0;
  for (int client : acceptedClients) CloseSocket(client);
  acceptedClients.clear();
  if (listener != 0) CloseSocket(listener);
  listener = 0;
  int control = controlConnection_.exchange(0);
  ForgetReplyState();
  EndControlTls();
  if (control != 0) CloseSocket(control);
}

bool FtpSession::StopNoticed() {
  if (!stop_.stop_requested()) return false;
  CloseAllSockets();
  return true;
}

}  // namespace wexmoor
