// Certificates waiting for the user's word. The engine reports an untrusted
// certificate from its own thread and goes on (the entry stays queued); the
// window's thread takes the requests one at a time and shows the trust
// window. Each certificate of each server is asked about once per run.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

#include "ftp/certificate_check.h"
#include "ftp/ftp_session.h"
#include "model/server_table.h"
#include "sftp/sftp_session.h"
#include "platform/text.h"

namespace wexmoor {

struct TrustRequest {
  Text serverName;
  CertificateSummary summary;  // of an SSH host key: the fingerprint only
  bool changed = false;        // a different fingerprint was trusted before
  Text keyType;                // an SSH host key's type; empty for a certificate
};

// Host keys of SFTP servers take the same way: key type and "SHA256:..."
// fingerprint, and Trust stores that fingerprint.
class CertificateTrustRequests : public CertificateTrustAsker, public HostKeyTrustAsker {
 public:
  void AskTrust(const Text& serverName, const CertificateSummary& summary, bool changed) override;
  void AskHostKeyTrust(const Text& serverName, const HostKeyQuestion& question) override;
  // The oldest request not taken yet.
  std::optional<TrustRequest> Take();

 private:
  std::mutex mutex_;
  std::deque<TrustRequest> waiting_;
  std::set<std::pair<Text, Text>> asked_;  // (server name, fingerprint)
};

// "Trust": stores the fingerprint in the server of that name; false when no
// server has the name (any more).
bool TrustCertificate(ServerTable& servers, const Text& serverName, const Text& fingerprint);

// TLS worked on the server of that name: one that asked for TLS only when
// offered ("ServerProtocol<n>" 1) requires it from now on (2). False when
// nothing changed.
bool RequireTlsFromNowOn(ServerTable& servers, const Text& serverName);

}  // namespace wexmoor
