// The archives drop intake has written in this run, each with the dropped
// item it was packed from and the identity of the file it wrote. Intake
// rebuilds an archive in place only for the same item and only while the file
// is still the one it wrote; anything else at that path is left alone.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "platform/text.h"

namespace wexmoor {

class WrittenArchives {
 public:
  // Notes that `archivePath` was just written for `itemPath`.
  void Record(const Text& archivePath, const Text& itemPath);
  // True when the file now at `archivePath` is the one written for
  // `itemPath` (same file, unchanged since).
  bool WrittenFor(const Text& archivePath, const Text& itemPath) const;
  void Forget(const Text& archivePath);

 private:
  struct Written {
    Text item;
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, modifiedNs = 0;
  };
  static bool Identify(const Text& path, Written& out);

  mutable std::mutex mutex_;
  std::map<Text, Written> written_;
};

}  // namespace wexmoor
