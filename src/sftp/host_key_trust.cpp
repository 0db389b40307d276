#include "sftp/host_key_trust.h"

#include <libssh2.h>

#include "platform/code_page.h"

namespace wexmoor {
namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}  // namespace

std::string Base64NoPadding(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const std::uint32_t v = (std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16) |
                            (std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8) |
                            static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t v = std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16;
    if (rest == 2) v |= std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    if (rest == 2) out += kAlphabet[(v >> 6) & 63];
  }
  return out;
}

std::string OpenSshFingerprint(std::string_view sha256Digest) {
  return "SHA256:" + Base64NoPadding(sha256Digest);
}

bool FingerprintMatches(TextView stored, std::string_view fingerprint) {
  std::string wanted = Utf16ToUtf8(TrimBlanks(stored));
  if (wanted.size() >= 7 && EqualsIgnoreAsciiCase(AsciiToText(wanted.substr(0, 7)), u"SHA256:")) {
    wanted.erase(0, 7);
  }
  while (!wanted.empty() && wanted.back() == '=') wanted.pop_back();
  if (wanted.empty() || !fingerprint.starts_with("SHA256:")) return false;
  return wanted == fingerprint.substr(7);
}

std::string KnownHostsName(std::string_view host, int port) {
  if (port == 22) return std::string(host);
  // Appended piece by piece: GCC 12 at -O3 flags "literal + string" with a
  // false -Werror=restrict (GCC bug 105329).
  std::string name = "[";
  name += host;
  name += "]:";
  name += std::to_string(port);
  return name;
}

std::string HostKeyTypeName(int type) {
  switch (type) {
    case LIBSSH2_HOSTKEY_TYPE_RSA: return "ssh-rsa";
    case LIBSSH2_HOSTKEY_TYPE_DSS: return "ssh-dss";
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_256: return "ecdsa-sha2-nistp256";
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_384: return "ecdsa-sha2-nistp384";
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_521: return "ecdsa-sha2-nistp521";
    case LIBSSH2_HOSTKEY_TYPE_ED25519: return "ssh-ed25519";
    default: return "unknown";
  }
}

namespace {

int KnownHostKeyBits(int type) {
  switch (type) {
    case LIBSSH2_HOSTKEY_TYPE_RSA: return LIBSSH2_KNOWNHOST_KEY_SSHRSA;
    case LIBSSH2_HOSTKEY_TYPE_DSS: return LIBSSH2_KNOWNHOST_KEY_SSHDSS;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_256: return LIBSSH2_KNOWNHOST_KEY_ECDSA_256;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_384: return LIBSSH2_KNOWNHOST_KEY_ECDSA_384;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_521: return LIBSSH2_KNOWNHOST_KEY_ECDSA_521;
    case LIBSSH2_HOSTKEY_TYPE_ED25519: return LIBSSH2_KNOWNHOST_KEY_ED25519;
    default: return 0;
  }
}

constexpr std::size_t kMaxLine = 16 * 1024;

bool IsBase64Of20Bytes(std::string_view text) {
  if (text.size() != 28 || text[27] != '=') return false;
  for (std::size_t i = 0; i < 27; ++i) {
    if (std::string_view(kAlphabet).find(text[i]) == std::string_view::npos) return false;
  }
  return true;
}

// A hashed name ("|1|salt|hash") as OpenSSH writes it: a 20-byte salt and a
// 20-byte HMAC-SHA1, each in base64. libssh2 loses memory on other shapes,
// and they can match nothing anyway.
bool HashedNameWellFormed(std::string_view line) {
  const std::size_t end = line.find_first_of(" \t");
  const std::string_view name = line.substr(0, end);
  return name.size() == 3 + 28 + 1 + 28 && name.starts_with("|1|") && name[31] == '|' &&
         IsBase64Of20Bytes(name.substr(3, 28)) && IsBase64Of20Bytes(name.substr(32, 28));
}

}  // namespace

HostKeyVerdict CheckKnownHosts(LIBSSH2_SESSION* session, std::string_view text, std::string_view host, int port,
                               std::string_view key, int type) {
  const int keyBits = KnownHostKeyBits(type);
  if (session == nullptr || keyBits == 0 || key.empty()) return HostKeyVerdict::kUnknown;
  LIBSSH2_KNOWNHOSTS* hosts = libssh2_knownhost_init(session);
  if (hosts == nullptr) return HostKeyVerdict::kUnknown;
  text = text.substr(0, kMaxKnownHostsBytes);
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end < text.size() ? end + 1 : end);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line.empty() || line.size() > kMaxLine || line.front() == '#' || line.front() == '@') continue;
    if (line.front() == '|' && !HashedNameWellFormed(line)) continue;
    // libssh2 wants the line by itself; its own copy keeps the view's bytes apart.
    const std::string copy(line);
    libssh2_knownhost_readline(hosts, copy.data(), copy.size(), LIBSSH2_KNOWNHOST_FILE_OPENSSH);
  }
  const std::string name = KnownHostsName(host, port);
  libssh2_knownhost* found = nullptr;
  const int r = libssh2_knownhost_checkp(hosts, name.c_str(), -1, key.data(), key.size(),
                                         LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW | keyBits,
                                         &found);
  HostKeyVerdict verdict = HostKeyVerdict::kUnknown;
  if (r == LIBSSH2_KNOWNHOST_CHECK_MATCH) {
    verdict = HostKeyVerdict::kKnown;
  } else if (r == LIBSSH2_KNOWNHOST_CHECK_MISMATCH && found != nullptr &&
             (found->typemask & LIBSSH2_KNOWNHOST_KEY_MASK) == keyBits) {
    verdict = HostKeyVerdict::kChanged;
  }
  libssh2_knownhost_free(hosts);
  return verdict;
}

}  // namespace wexmoor
