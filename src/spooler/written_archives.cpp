#include "spooler/written_archives.h"

#include <sys/stat.h>

#include "platform/files.h"

namespace wexmoor {

bool WrittenArchives::Identify(const Text& path, Written& out) {
  struct stat st;
  if (::lstat(PathToNative(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  out.device = static_cast<std::uint64_t>(st.st_dev);
  out.inode = static_cast<std::uint64_t>(st.st_ino);
  out.size = static_cast<std::int64_t>(st.st_size);
  out.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  return true;
}

void WrittenArchives::Record(const Text& archivePath, const Text& itemPath) {
  Written w;
  if (!Identify(archivePath, w)) return;
  w.item = itemPath;
  std::lock_guard lock(mutex_);
  written_[archivePath] = std::move(w);
}

bool WrittenArchives::WrittenFor(const Text& archivePath, const Text& itemPath) const {
  Written now;
  if (!Identify(archivePath, now)) return false;
  std::lock_guard lock(mutex_);
  auto it = written_.find(archivePath);
  if (it == written_.end()) return false;
  const Written& w = it->second;
  return w.item == itemPath && w.device == now.device && w.inode == now.inode && w.size == now.size &&
         w.modifiedNs == now.modifiedNs;
}

void WrittenArchives::Forget(const Text& archivePath) {
  std::lock_guard lock(mutex_);
  written_.erase(archivePath);
}

}  // namespace wexmoor
