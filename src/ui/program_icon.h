// The program's window icon, drawn at start-up: a white upward arrow on a
// blue square, 32 x 32 pixels.
#pragma once

#include <wx/icon.h>

namespace wexmoor {

wxIcon MakeProgramIcon();

}  // namespace wexmoor
