// A test's files as raw bytes, with no conversion: written whole (truncating),
// read whole, and random contents for the files an upload test sends.
#pragma once

#include <cstddef>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/code_page.h"
#include "platform/files.h"

namespace wexmoor::testing {

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// The whole file at `path`, "" when it is missing.
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The whole file at `path`, or "<missing>" (a file an upload should have made).
inline std::string ReadSentBytes(const std::string& path) {
  return ReadWholeFile(Utf8ToUtf16(path)).value_or("<missing>");
}

// `size` bytes from `random`.
inline std::string RandomBytes(std::size_t size, std::mt19937& random) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

}  // namespace wexmoor::testing
