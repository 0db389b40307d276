// Labels that must fit fixed rectangles in every language: the font of a
// control is made smaller, half a point at a time, until its label fits.
#pragma once

#include <functional>
#include <vector>

#include <wx/window.h>

#include "platform/text.h"

namespace wexmoor {

inline constexpr double kSmallestPoints = 6.0;
inline constexpr double kPointStep = 0.5;

// Shrinks `control`'s font (not below kSmallestPoints) until `text` fits its
// width minus `reserved` pixels (button padding, a check box's box).
void FitTextFont(wxWindow* control, const wxString& text, int reserved);

// The same for the control's own label, starting from `basePoints`.
void FitLabelFont(wxWindow* control, int reserved, int basePoints = 9);

// Fits each control's label, then gives all of them the smallest font any
// of them needed: a group of options whose names look alike.
void FitOptionsAlike(const std::vector<wxWindow*>& controls, int reserved, int basePoints = 9);
template <typename Control>
void FitOptionsAlike(const std::vector<Control*>& controls, int reserved, int basePoints = 9) {
  FitOptionsAlike(std::vector<wxWindow*>(controls.begin(), controls.end()), reserved, basePoints);
}

// Breaks `text` (paragraphs separated by "\r") into lines for `window`'s
// font; `widthOfLine(n)` is the room of line n (counted from 0), and the last
// paragraph gets `lastWidth`. Words longer than a line are cut.
wxString WrapForWidths(wxWindow* window, const Text& text, const std::function<int(int)>& widthOfLine,
                       int lastWidth);

}  // namespace wexmoor
