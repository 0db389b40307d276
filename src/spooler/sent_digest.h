// The digest of the bytes an upload sends, computed block by block as they
// go (a TransferObserver that wants the bytes), so that the server's digest
// of the delivered file can be compared without reading the file again.
// Another observer (a bandwidth limit) may sit behind it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "model/transfer_observer.h"
#include "platform/text.h"
#include "spooler/remote_files.h"

namespace wexmoor {

// "sha256", "sha1", "md5", "crc32": the name in a verification text.
const char* DigestName(HashKind kind);
// "sha256:<hex>".
Text VerificationText(HashKind kind, const std::string& hexDigest);
// The strongest kind the server offers; nullopt for none.
std::optional<HashKind> StrongestHash(const RemoteOffers& offers);

class SentDigest final : public TransferObserver {
 public:
  explicit SentDigest(HashKind kind, TransferObserver* next = nullptr);
  ~SentDigest() override;
  SentDigest(const SentDigest&) = delete;
  SentDigest& operator=(const SentDigest&) = delete;

  HashKind Kind() const { return kind_; }
  // Begins afresh; the bytes before `offset` of the open file `fd`, which
  // this attempt does not send (a part resumed), are taken in first. False
  // when they could not be read.
  bool Restart(int fd, std::int64_t offset);

  bool WantsBytes() const override { return true; }
  bool BeforeBlock(std::size_t size) override { return next_ == nullptr || next_->BeforeBlock(size); }
  void AfterBlock(const char* data, std::size_t size) override;

  // The lower-case hex digest of everything taken in so far.
  std::string HexDigest() const;

 private:
  void Add(const char* data, std::size_t size);

  struct State;
  HashKind kind_;
  TransferObserver* next_;
  std::unique_ptr<State> state_;
};

}  // namespace wexmoor
