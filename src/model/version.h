// The program's name, version and preference file names.
#pragma once

#include "platform/text.h"

namespace wexmoor {

inline constexpr TextView kProductName = u"Wexmoor";
inline constexpr TextView kVersionText = u"1.83";
// "Wexmoor 1.83", the main window's title.
inline constexpr TextView kWindowTitle = u"Wexmoor 1.83";
inline constexpr TextView kPreferenceFileName = u"Wexmoor.prefs";
inline constexpr TextView kLockedPreferenceFileName = u"LockedWXM.prefs";

inline TextView PreferenceFileName(bool lockedMode) {
  return lockedMode ? kLockedPreferenceFileName : kPreferenceFileName;
}

}  // namespace wexmoor
