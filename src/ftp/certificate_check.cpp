#include "ftp/certificate_check.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdio>
#include <ctime>

#include "platform/code_page.h"

namespace wexmoor {
namespace {

constexpr std::size_t kMaxNameBytes = 1024;
constexpr char kHex[] = "0123456789ABCDEF";

Text NameText(X509_NAME* name) {
  if (name == nullptr) return {};
  BIO* out = BIO_new(BIO_s_mem());
  if (out == nullptr) return {};
  // One line, "CN = host, O = maker", UTF-8 kept as it is, controls escaped.
  X509_NAME_print_ex(out, name, 0, (XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) | ASN1_STRFLGS_ESC_CTRL);
  char* bytes = nullptr;
  const long size = BIO_get_mem_data(out, &bytes);
  std::string text(bytes != nullptr && size > 0 ? bytes : "", size > 0 ? static_cast<std::size_t>(size) : 0);
  BIO_free(out);
  if (text.size() > kMaxNameBytes) text = text.substr(0, kMaxNameBytes) + "...";
  return Utf8ToUtf16(text);
}

Text TimeText(const ASN1_TIME* time) {
  std::tm parts{};
  if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return u"?";
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  return AsciiToText(text);
}

}  // namespace

Text CertificateFingerprint(x509_st* certificate) {
  if (certificate == nullptr) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (X509_digest(certificate, EVP_sha256(), digest, &size) != 1) return {};
  Text out;
  for (unsigned int i = 0; i < size; ++i) {
    if (i > 0) out += u':';
    out += static_cast<char16_t>(kHex[digest[i] >> 4]);
    out += static_cast<char16_t>(kHex[digest[i] & 15]);
  }
  return out;
}

CertificateSummary SummariseCertificate(x509_st* certificate) {
  CertificateSummary summary;
  if (certificate == nullptr) return summary;
  summary.subject = NameText(X509_get_subject_name(certificate));
  summary.issuer = NameText(X509_get_issuer_name(certificate));
  summary.validFrom = TimeText(X509_get0_notBefore(certificate));
  summary.validUntil = TimeText(X509_get0_notAfter(certificate));
  summary.fingerprint = CertificateFingerprint(certificate);
  return summary;
}

std::optional<CertificateSummary> SummariseCertificateDer(std::string_view der) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
  X509* certificate = d2i_X509(nullptr, &bytes, static_cast<long>(der.size()));
  if (certificate == nullptr) return std::nullopt;
  CertificateSummary summary = SummariseCertificate(certificate);
  X509_free(certificate);
  return summary;
}

Text NormaliseFingerprint(TextView fingerprint) {
  const std::size_t equals = fingerprint.rfind(u'=');
  if (equals != TextView::npos) fingerprint.remove_prefix(equals + 1);
  Text out;
  for (char16_t c : fingerprint) {
    if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') continue;
    out += (c >= u'a' && c <= u'f') ? static_cast<char16_t>(c - u'a' + u'A') : c;
  }
  return out;
}

TrustVerdict DecideCertificateTrust(bool verifiedByStore, TextView fingerprint, TextView storedFingerprint) {
  if (verifiedByStore) return TrustVerdict::kTrusted;
  const Text stored = NormaliseFingerprint(storedFingerprint);
  if (stored.empty()) return TrustVerdict::kUnknown;
  const Text seen = NormaliseFingerprint(fingerprint);
  return !seen.empty() && seen == stored ? TrustVerdict::kTrusted : TrustVerdict::kChanged;
}

}  // namespace wexmoor
