#include "settings/file_identity.h"

#include <sys/stat.h>

#include "platform/files.h"

namespace wexmoor {

std::uint64_t ContentHash(std::string_view bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

std::optional<FileIdentity> StatIdentity(const Text& path, std::uint64_t hash) {
  struct stat st {};
  if (::stat(PathToNative(path).c_str(), &st) != 0) return std::nullopt;
  FileIdentity id;
  id.device = static_cast<std::uint64_t>(st.st_dev);
  id.inode = static_cast<std::uint64_t>(st.st_ino);
  id.size = static_cast<std::int64_t>(st.st_size);
  id.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  id.hash = hash;
  return id;
}

bool FileChangedSince(const Text& path, std::optional<FileIdentity>& known, bool deep) {
  const std::optional<FileIdentity> now = StatIdentity(path);
  if (!now || !known) return now.has_value() != known.has_value();
  if (now->SameStat(*known) && !deep) return false;
  const std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes || ContentHash(*bytes) != known->hash) return true;
  known = StatIdentity(path, known->hash);
  return false;
}

}  // namespace wexmoor
