// A balloon tip: an information icon and a few lines of text on a pale yellow
// balloon whose point touches the bottom of a control. It never takes the
// keyboard or the pointer: clicks and typing pass through it to the controls
// under it, and any click in the program closes it. (A transient pop-up would
// grab both while it is up, and the click meant for a field would only close
// it.)
#pragma once

#include <wx/bitmap.h>
#include <wx/popupwin.h>
#include <wx/timer.h>

namespace wexmoor {

class BalloonTip : public wxPopupWindow {
 public:
  explicit BalloonTip(wxWindow* parent);
  ~BalloonTip() override;

  // Shows `text` (already wrapped) pointing at `target`'s bottom middle, for
  // `timeoutMs`, then hides.
  void ShowFor(wxWindow* target, const wxString& text, int timeoutMs);
  void Dismiss();

 private:
  class ClickWatch;

  void OnPaint(wxPaintEvent& event);

  wxString text_;
  wxBitmap icon_;
  int arrowX_ = 0;  // the point's place along the top edge
  wxTimer timeout_;
  ClickWatch* clickWatch_ = nullptr;
};

}  // namespace wexmoor
