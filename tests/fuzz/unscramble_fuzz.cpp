// Unscrambling any text terminates without fault; scrambling then
// unscrambling any text gives it back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>

#include "settings/password_scrambling.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Text text;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  (void)UnscrambleText(text);
  (void)UnscrambleText(u"#\u00a7" + text);
  std::mt19937 random(static_cast<unsigned>(size));
  if (UnscrambleText(ScrambleText(text, random)) != text) std::abort();
  return 0;
}
