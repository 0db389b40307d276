// The settings area of a copied executable may hold anything; the reader must
// stay inside it. The area is copied into a buffer of exactly its size so that
// AddressSanitizer sees every read past its end.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "locked/locked_settings_block.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kArea = 1344;
  std::size_t n = size < kArea ? size : kArea;
  auto area = std::make_unique<unsigned char[]>(n ? n : 1);
  if (n) std::memcpy(area.get(), data, n);
  ServerTable servers;
  GlobalOptions options;
  (void)ReadLockedSettings(std::span<const volatile unsigned char>(area.get(), n), servers, options);
  (void)servers.Names();
  return 0;
}
