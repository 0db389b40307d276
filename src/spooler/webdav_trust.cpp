#include "spooler/webdav_trust.h"

#include <optional>

#include "ftp/certificate_check.h"

namespace wexmoor {
namespace {

Text Stamped(const Clock& clock, const Text& line) {
  Text stamped = AsciiToText(FormatClockTime(clock.Local()));
  stamped += u": ";
  stamped += line;
  return stamped;
}

}  // namespace

bool DavCertificateTrusted(const DavCertificate& certificate, const ServerRecord& record,
                           CertificateTrustAsker* asker, ConversationLog& log, const Clock& clock) {
  const std::optional<CertificateSummary> summary = SummariseCertificateDer(certificate.der);
  const Text fingerprint = summary ? summary->fingerprint : Text();
  const TrustVerdict verdict = DecideCertificateTrust(certificate.verifiedByStore, fingerprint, record.fingerprint);
  switch (verdict) {
    case TrustVerdict::kTrusted:
      return true;
    case TrustVerdict::kUnknown:
      log.Append(Stamped(clock, u"!!--- Certificate not trusted yet, SHA-256 fingerprint " + fingerprint));
      break;
    case TrustVerdict::kChanged:
      log.Append(Stamped(clock, u"!!--- Certificate changed, SHA-256 fingerprint " + fingerprint +
                                    u" is not the trusted " + NormaliseFingerprint(record.fingerprint)));
      break;
  }
  if (asker != nullptr && summary) asker->AskTrust(record.name, *summary, verdict == TrustVerdict::kChanged);
  return false;
}

}  // namespace wexmoor
