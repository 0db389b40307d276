#include "peers/test_paths.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace wexmoor::testing {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "wexmoor-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string SourceDir() { return WEXMOOR_SOURCE_DIR; }
std::string BinaryDir() { return WEXMOOR_BINARY_DIR; }

}  // namespace wexmoor::testing
