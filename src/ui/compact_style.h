// GTK's default theme makes buttons, entries and drop-down lists taller than
// the program's fixed geometry allows; this style sheet makes every control
// fit its rectangle.
#pragma once

namespace wexmoor {

// Installs the compact style sheet for the whole screen. Call once, after the
// window system has started.
void InstallCompactStyle();

}  // namespace wexmoor
