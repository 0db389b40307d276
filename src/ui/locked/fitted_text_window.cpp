#include "ui/locked/fitted_text_window.h"

#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/font.h>
#include <wx/stattext.h>

namespace wexmoor {

namespace {

constexpr int kSmallestPoints = 6;

}  // namespace

void FitStaticText(wxStaticText* label, const wxString& text, int width, int height) {
  wxFont font = label->GetFont();
  for (int points = font.GetPointSize();; --points) {
    font.SetPointSize(points);
    label->SetFont(font);
    label->SetLabel(text);
    label->Wrap(width);
    wxClientDC dc(label);
    dc.SetFont(font);
    wxCoord w = 0;
    wxCoord h = 0;
    dc.GetMultiLineTextExtent(label->GetLabel(), &w, &h);
    if ((h <= height && w <= width) || points <= kSmallestPoints) break;
  }
}

void FitButtonLabel(wxButton* button, int width) {
  // The label's own extent plus the button's frame and the compact padding.
  constexpr int kFrame = 14;
  wxFont font = button->GetFont();
  for (int points = font.GetPointSize(); points > kSmallestPoints; --points) {
    wxCoord w = 0;
    wxCoord h = 0;
    button->GetTextExtent(button->GetLabel(), &w, &h, nullptr, nullptr, &font);
    if (w + kFrame <= width) break;
    font.SetPointSize(points - 1);
    button->SetFont(font);
  }
}

}  // namespace wexmoor
