// Shared helpers of the locked-copy tests: a stand-in program file that has
// the two reserved zones, and access to the zones of any file.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "locked/locked_zones.h"

namespace wexmoor::testing {

// The 16 compared bytes of a marker text, UTF-16LE.
inline std::string MarkerBytes(const Text& marker) {
  std::string bytes;
  for (char16_t unit : marker) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

inline std::size_t CountOccurrences(const std::string& haystack, const std::string& needle) {
  std::size_t count = 0;
  for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

// Bytes shaped like the program: some code before, the zones (markers and
// zero areas), some data after.
inline std::string FakeProgramImage() {
  std::string image = "\x7f" "ELF fake program text";
  image.append(300, '\x90');
  image += MarkerBytes(LockedSettingsMarker());
  image.append(2 + kLockedSettingsAreaBytes, '\0');
  image += MarkerBytes(LockedPictureMarker());
  image.append(2 + kLockedPictureAreaBytes, '\0');
  image += "trailing data";
  return image;
}

// The area that follows `marker` in `image`, or nullopt.
inline std::optional<std::string> AreaAfter(const std::string& image, const Text& marker, std::size_t length) {
  std::size_t at = image.find(MarkerBytes(marker));
  if (at == std::string::npos || at + kZoneMarkerBytes + length > image.size()) return std::nullopt;
  return image.substr(at + kZoneMarkerBytes, length);
}

inline std::span<const volatile unsigned char> AsArea(const std::string& bytes) {
  return {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()};
}

}  // namespace wexmoor::testing
