// Byte conversions must accept any input and keep texts whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/code_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  wexmoor::Text text = wexmoor::Utf8ToUtf16(bytes);
  // Whatever was decoded encodes and decodes to the same text.
  if (wexmoor::Utf8ToUtf16(wexmoor::Utf16ToUtf8(text)) != text) std::abort();
  // Any UTF-16 text (pairs of bytes) survives UTF-8.
  wexmoor::Text units;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  if (wexmoor::Utf8ToUtf16(wexmoor::Utf16ToUtf8(units)) != units) std::abort();
  if (wexmoor::Utf16ToAnsi(wexmoor::AnsiToUtf16(bytes)).size() != bytes.size()) std::abort();
  (void)wexmoor::Cp437ToAnsi(bytes);
  return 0;
}
