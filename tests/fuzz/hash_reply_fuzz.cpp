// A hostile server's FEAT, HASH and X-command replies: the parsers must end
// on any bytes, and a digest they accept has the length of its kind and is
// lower-case hex.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ftp/file_proof.h"
#include "platform/code_page.h"

using namespace wexmoor;

namespace {
void CheckDigest(const std::optional<std::string>& digest, std::size_t length) {
  if (!digest) return;
  if (digest->size() != length) std::abort();
  for (const char c : *digest)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Text reply = Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
  const FtpProofFeatures features = ParseProofFeatures(reply);
  if (features.Kinds().size() > 4 || features.hashCommand.size() > 4) std::abort();
  const std::size_t lengths[] = {8, 32, 40, 64};
  for (int k = 0; k < 4; ++k) {
    const auto kind = static_cast<FtpHashKind>(k);
    CheckDigest(ParseHashReply(reply, kind), lengths[k]);
    CheckDigest(ParseXHashReply(reply, kind), lengths[k]);
  }
  return 0;
}
