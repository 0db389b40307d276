// Where secondary windows open: a little right of and below the screen's
// centre, as every window of the program does; `extra` moves it further
// right and down (the locked-copy windows take 0).
#pragma once

#include <wx/display.h>
#include <wx/gdicmn.h>

namespace wexmoor {

inline wxPoint SecondaryWindowPosition(int extra = 20) {
  const wxRect screen = wxDisplay(0u).GetGeometry();
  return wxPoint((screen.width - 200) / 2 + extra, (screen.height - 220) / 2 + extra);
}

}  // namespace wexmoor
