// Bytes of the files an upload test sends and finds on the server.
#pragma once

#include <cstddef>
#include <random>
#include <string>

#include "platform/code_page.h"
#include "platform/files.h"

namespace wexmoor::testing {

// `size` bytes from `random`.
inline std::string RandomBytes(std::size_t size, std::mt19937& random) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// The whole file at `path`, or "<missing>".
inline std::string ReadBytes(const std::string& path) {
  return ReadWholeFile(Utf8ToUtf16(path)).value_or("<missing>");
}

}  // namespace wexmoor::testing
