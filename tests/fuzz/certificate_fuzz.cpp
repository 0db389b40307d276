// Certificates and stored fingerprints from outside: the summary of any DER
// bytes (names with any characters), and the trust decision.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ftp/certificate_check.h"
#include "platform/code_page.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (const auto summary = SummariseCertificateDer(bytes)) {
    if (summary->fingerprint.size() != 95) std::abort();
    if (summary->subject.size() > 4096 || summary->issuer.size() > 4096) std::abort();
    if (DecideCertificateTrust(false, summary->fingerprint, summary->fingerprint) != TrustVerdict::kTrusted) std::abort();
  }
  const Text stored = AnsiToUtf16(bytes);
  const TrustVerdict verdict = DecideCertificateTrust(false, u"AB:CD", stored);
  if (verdict == TrustVerdict::kTrusted && NormaliseFingerprint(stored) != u"AB:CD") std::abort();
  return 0;
}
