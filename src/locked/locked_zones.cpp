#include "locked/locked_zones.h"

namespace wexmoor {

namespace {

// Both zones in one object, so their order and adjacency are fixed: the
// settings area ends exactly where the picture marker begins. Placed in .data
// (not .bss) so that the zeros are stored in the file and a copy of the file
// can be patched; volatile so that every read goes to the image and nothing
// is folded at compile time.
struct ReservedZones {
  unsigned char settingsMarker[kZoneMarkerBytes];
  unsigned char settingsArea[kLockedSettingsAreaBytes];
  unsigned char pictureMarker[kZoneMarkerBytes];
  unsigned char pictureArea[kLockedPictureAreaBytes];
};

static_assert(sizeof(ReservedZones) ==
              2 * kZoneMarkerBytes + kLockedSettingsAreaBytes + kLockedPictureAreaBytes);

// The program's own image is the storage of a locked copy's settings: this is
// the one piece of process-wide data the program keeps outside its state
// objects. The markers are spelt byte by byte (UTF-16LE), never as a string.
__attribute__((section(".data"), used)) volatile ReservedZones reservedZones = {
    {'P', 0, 'r', 0, 'e', 0, 'f', 0, 'Z', 0, 'o', 0, 'n', 0, 'e', 0, 0, 0},
    {},
    {'L', 0, 'o', 0, 'g', 0, 'o', 0, 'Z', 0, 'o', 0, 'n', 0, 'e', 0, 0, 0},
    {},
};

}  // namespace

std::span<const volatile unsigned char> LockedSettingsArea() {
  return {reservedZones.settingsArea, kLockedSettingsAreaBytes};
}

std::span<const volatile unsigned char> LockedPictureArea() {
  return {reservedZones.pictureArea, kLockedPictureAreaBytes};
}

namespace {

// Joins the halves through volatile reads, so an optimising compiler cannot
// fold the whole marker into a constant of its own.
Text JoinHalves(const char16_t* first, const char16_t* second) {
  Text joined;
  for (const char16_t* half : {first, second}) {
    for (const volatile char16_t* unit = half; *unit != 0; ++unit) joined.push_back(*unit);
  }
  return joined;
}

}  // namespace

Text LockedSettingsMarker() { return JoinHalves(u"Pref", u"Zone"); }

Text LockedPictureMarker() { return JoinHalves(u"Logo", u"Zone"); }

}  // namespace wexmoor
