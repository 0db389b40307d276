// The two reserved zones of the program's own image. A locked copy is this
// program's file with its server settings and a picture written into them;
// the program as built carries them all zero.
#pragma once

#include <cstddef>
#include <span>

#include "platform/text.h"

namespace wexmoor {

// Each zone starts with a marker of eight characters in UTF-16LE and a
// UTF-16 NUL (18 bytes); its area follows directly.
inline constexpr std::size_t kZoneMarkerBytes = 18;
// The part of a marker the generator looks for (the NUL is not compared).
inline constexpr std::size_t kZoneMarkerCompared = 16;
inline constexpr std::size_t kLockedSettingsAreaBytes = 1344;
inline constexpr std::size_t kLockedPictureAreaBytes = 15000;

// The settings area (first byte: the locked flag) and the picture area of the
// running program. Read them byte by byte: every access goes to the image.
std::span<const volatile unsigned char> LockedSettingsArea();
std::span<const volatile unsigned char> LockedPictureArea();

// The marker texts, put together from two halves so that no literal of the
// program holds a whole marker (the zones must stay the only place where the
// markers stand in the file).
Text LockedSettingsMarker();
Text LockedPictureMarker();

}  // namespace wexmoor
