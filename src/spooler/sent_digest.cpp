#include "spooler/sent_digest.h"

#include <openssl/evp.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

namespace wexmoor {

struct SentDigest::State {
  EVP_MD_CTX* context = nullptr;
  uLong crc = 0;
  ~State() { EVP_MD_CTX_free(context); }
};

namespace {
const EVP_MD* Algorithm(HashKind kind) {
  switch (kind) {
    case HashKind::kMd5: return EVP_md5();
    case HashKind::kSha1: return EVP_sha1();
    case HashKind::kSha256: return EVP_sha256();
    case HashKind::kCrc32: return nullptr;
  }
  return nullptr;
}

std::string Hex(const unsigned char* bytes, std::size_t size) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(kHex[bytes[i] >> 4]);
    out.push_back(kHex[bytes[i] & 15]);
  }
  return out;
}
}  // namespace

const char* DigestName(HashKind kind) {
  switch (kind) {
    case HashKind::kCrc32: return "crc32";
    case HashKind::kMd5: return "md5";
    case HashKind::kSha1: return "sha1";
    case HashKind::kSha256: return "sha256";
  }
  return "";
}

Text VerificationText(HashKind kind, const std::string& hexDigest) {
  return AsciiToText(DigestName(kind)) + u":" + AsciiToText(hexDigest);
}

std::optional<HashKind> StrongestHash(const RemoteOffers& offers) {
  if (offers.hashes.empty()) return std::nullopt;
  return *std::max_element(offers.hashes.begin(), offers.hashes.end());
}

SentDigest::SentDigest(HashKind kind, TransferObserver* next) : kind_(kind), next_(next) { Restart(-1, 0); }

SentDigest::~SentDigest() = default;

bool SentDigest::Restart(int fd, std::int64_t offset) {
  state_ = std::make_unique<State>();
  if (const EVP_MD* md = Algorithm(kind_)) {
    state_->context = EVP_MD_CTX_new();
    if (state_->context != nullptr) EVP_DigestInit_ex(state_->context, md, nullptr);
  } else {
    state_->crc = crc32(0L, Z_NULL, 0);
  }
  // The bytes this attempt does not send, read once.
  std::vector<char> block(64 * 1024);
  for (std::int64_t at = 0; at < offset;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(offset - at, 64 * 1024));
    const ssize_t got = ::pread(fd, block.data(), want, static_cast<off_t>(at));
    if (got <= 0) return false;
    Add(block.data(), static_cast<std::size_t>(got));
    at += got;
  }
  return true;
}

void SentDigest::Add(const char* data, std::size_t size) {
  if (state_->context != nullptr) {
    EVP_DigestUpdate(state_->context, data, size);
    return;
  }
  // zlib takes at most a uInt at a time.
  while (size > 0) {
    const uInt piece = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
    state_->crc = crc32(state_->crc, reinterpret_cast<const Bytef*>(data), piece);
    data += piece;
    size -= piece;
  }
}

void SentDigest::AfterBlock(const char* data, std::size_t size) {
  if (data != nullptr) Add(data, size);
  if (next_ != nullptr) next_->AfterBlock(data, size);
}

std::string SentDigest::HexDigest() const {
  if (state_->context == nullptr) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(state_->crc >> 24),
                                    static_cast<unsigned char>(state_->crc >> 16),
                                    static_cast<unsigned char>(state_->crc >> 8),
                                    static_cast<unsigned char>(state_->crc)};
    return Hex(bytes, 4);
  }
  // A copy: more bytes may still come.
  EVP_MD_CTX* copy = EVP_MD_CTX_new();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  std::string out;
  if (copy != nullptr && EVP_MD_CTX_copy_ex(copy, state_->context) == 1 &&
      EVP_DigestFinal_ex(copy, digest, &length) == 1)
    out = Hex(digest, length);
  EVP_MD_CTX_free(copy);
  return out;
}

}  // namespace wexmoor
