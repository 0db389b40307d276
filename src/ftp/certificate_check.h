// What the engine knows about a server's certificate and whether to trust it:
// a certificate that verified against the system's trust store for the host
// name is trusted; otherwise its SHA-256 fingerprint must equal the one the
// user trusted before ("ServerFingerprint<n>").
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

struct x509_st;

namespace wexmoor {

// What the trust window shows.
struct CertificateSummary {
  Text subject;
  Text issuer;
  Text validFrom;   // "2026-12-08 15:00:00 UTC"
  Text validUntil;
  Text fingerprint; // "AA:BB:..." (32 upper-case hex pairs)
};

// SHA-256 of the DER form, as upper-case hex pairs joined by ":"; empty for null.
Text CertificateFingerprint(x509_st* certificate);
CertificateSummary SummariseCertificate(x509_st* certificate);
// The same from DER bytes; nothing when they are not a certificate.
std::optional<CertificateSummary> SummariseCertificateDer(std::string_view der);

// Fingerprints compare without regard to case, spaces or a "SHA256 Fingerprint="
// style prefix, so a value pasted from `openssl x509 -fingerprint` matches.
Text NormaliseFingerprint(TextView fingerprint);

enum class TrustVerdict {
  kTrusted,  // verified by the store, or the stored fingerprint matches
  kUnknown,  // no fingerprint stored: ask the user
  kChanged,  // a different fingerprint is stored: ask, saying it changed
};
TrustVerdict DecideCertificateTrust(bool verifiedByStore, TextView fingerprint, TextView storedFingerprint);

}  // namespace wexmoor
