// What the program knows of a file it read or wrote itself: where it is
// (device, inode), its size and modification time, and a hash of its bytes.
// A file whose identity differs from the one remembered was changed by
// someone else.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/text.h"

namespace wexmoor {

struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedNs = 0;
  std::uint64_t hash = 0;

  // Same place, size and time: cheap to learn, enough for a look every few
  // seconds.
  bool SameStat(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size && modifiedNs == other.modifiedNs;
  }
  bool operator==(const FileIdentity&) const = default;
};

// FNV-1a over the bytes.
std::uint64_t ContentHash(std::string_view bytes);

// The file's place, size and time with `hash` as given; nullopt when the
// path does not name a file that exists.
std::optional<FileIdentity> StatIdentity(const Text& path, std::uint64_t hash = 0);

// Whether the file at `path` still is the one `known` describes. Place, size
// and time are compared; where they differ, or always with `deep`, the bytes
// are hashed too. A file only touched, or rewritten with the same bytes, has
// not changed (`known` then takes its new place and time). A file that
// vanished, or appeared where none was known, has changed.
bool FileChangedSince(const Text& path, std::optional<FileIdentity>& known, bool deep);

}  // namespace wexmoor
