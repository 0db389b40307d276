#include "program/certificate_trust.h"

namespace wexmoor {

void CertificateTrustRequests::AskTrust(const Text& serverName, const CertificateSummary& summary, bool changed) {
  std::lock_guard lock(mutex_);
  if (!asked_.emplace(serverName, summary.fingerprint).second) return;
  waiting_.push_back(TrustRequest{serverName, summary, changed, {}});
}

void CertificateTrustRequests::AskHostKeyTrust(const Text& serverName, const HostKeyQuestion& question) {
  std::lock_guard lock(mutex_);
  if (!asked_.emplace(serverName, question.fingerprint).second) return;
  TrustRequest request{serverName, {}, false, question.keyType};
  request.summary.fingerprint = question.fingerprint;
  waiting_.push_back(std::move(request));
}

std::optional<TrustRequest> CertificateTrustRequests::Take() {
  std::lock_guard lock(mutex_);
  if (waiting_.empty()) return std::nullopt;
  TrustRequest request = std::move(waiting_.front());
  waiting_.pop_front();
  return request;
}

bool TrustCertificate(ServerTable& servers, const Text& serverName, const Text& fingerprint) {
  const int slot = servers.FindServer(serverName);
  ServerRecord record = servers.Get(slot);
  if (serverName.empty() || record.name != serverName) return false;
  record.fingerprint = fingerprint;
  servers.Set(slot, record);
  return true;
}

bool RequireTlsFromNowOn(ServerTable& servers, const Text& serverName) {
  const int slot = servers.FindServer(serverName);
  ServerRecord record = servers.Get(slot);
  if (serverName.empty() || record.name != serverName || record.protocol != kProtocolTlsIfOffered) return false;
  record.protocol = kProtocolTlsRequired;
  servers.Set(slot, record);
  return true;
}

}  // namespace wexmoor
