// Texts in fixed rectangles: the windows here place their controls at fixed
// pixel positions, and a translated text or a large system font must still
// show whole inside its rectangle.
#pragma once

#include <wx/string.h>

class wxButton;
class wxStaticText;

namespace wexmoor {

// Sets `text` on `label`, wrapped to `width`, and takes a smaller font (down
// to 6 points) while the wrapped text would be taller than `height`.
void FitStaticText(wxStaticText* label, const wxString& text, int width, int height);

// Takes a smaller font for the button (down to 6 points) while its label
// would be wider than `width`.
void FitButtonLabel(wxButton* button, int width);

}  // namespace wexmoor
