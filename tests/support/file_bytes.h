// A test's files as raw bytes: written whole (truncating), read whole ("" when
// missing), with no conversion, as the preference-file suites compare them.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace wexmoor::testing {

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace wexmoor::testing
