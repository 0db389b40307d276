// Helpers for tests: temporary folders and the build's own paths.
#pragma once

#include <string>

namespace wexmoor::testing {

// A fresh folder below the system's temporary folder, removed with its
// contents when the object goes away.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string SourceDir();
std::string BinaryDir();

}  // namespace wexmoor::testing
