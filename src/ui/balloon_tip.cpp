#include "ui/balloon_tip.h"

#include <gtk/gtk.h>

#include <algorithm>

#include <wx/artprov.h>
#include <wx/dcbuffer.h>
#include <wx/display.h>
#include <wx/eventfilter.h>
#include <wx/region.h>

namespace wexmoor {
namespace {

constexpr int kArrowHeight = 10;
constexpr int kArrowHalfWidth = 8;
constexpr int kPadding = 8;
constexpr int kIconGap = 6;

wxColour Background() { return wxColour(255, 255, 200); }

}  // namespace

// Closes the balloon on any mouse press anywhere in the program; the press
// itself goes on to where it was meant.
class BalloonTip::ClickWatch : public wxEventFilter {
 public:
  explicit ClickWatch(BalloonTip& tip) : tip_(tip) { wxEvtHandler::AddFilter(this); }
  ~ClickWatch() override { wxEvtHandler::RemoveFilter(this); }
  int FilterEvent(wxEvent& event) override {
    const wxEventType type = event.GetEventType();
    if (type == wxEVT_LEFT_DOWN || type == wxEVT_RIGHT_DOWN || type == wxEVT_MIDDLE_DOWN ||
        type == wxEVT_LEFT_DCLICK || type == wxEVT_RIGHT_DCLICK)
      tip_.CallAfter([tip = &tip_] { tip->Dismiss(); });
    return Event_Skip;
  }

 private:
  BalloonTip& tip_;
};

BalloonTip::BalloonTip(wxWindow* parent) : wxPopupWindow(parent, wxFRAME_SHAPED | wxBORDER_NONE), timeout_(this) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetBackgroundColour(Background());
  icon_ = wxArtProvider::GetBitmap(wxART_INFORMATION, wxART_OTHER, wxSize(16, 16));
  // No input anywhere: the window system hands presses, motion and (with the
  // focus following the pointer) keys to whatever lies under the balloon.
  cairo_region_t* none = cairo_region_create();
  gtk_widget_input_shape_combine_region(GetHandle(), none);
  cairo_region_destroy(none);
  Bind(wxEVT_PAINT, &BalloonTip::OnPaint, this);
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Dismiss(); });
}

BalloonTip::~BalloonTip() {
  timeout_.Stop();
  delete clickWatch_;
}

void BalloonTip::ShowFor(wxWindow* target, const wxString& text, int timeoutMs) {
  text_ = text;
  wxCoord textWidth = 0;
  wxCoord textHeight = 0;
  {
    wxClientDC measure(this);
    measure.SetFont(GetFont());
    measure.GetMultiLineTextExtent(text_, &textWidth, &textHeight);
  }
  const int iconWidth = icon_.IsOk() ? icon_.GetWidth() + kIconGap : 0;
  const int iconHeight = icon_.IsOk() ? icon_.GetHeight() : 0;
  const wxSize body(kPadding * 2 + iconWidth + textWidth, kPadding * 2 + std::max(textHeight, iconHeight));
  const wxSize size(body.x, body.y + kArrowHeight);

  const wxRect field = target->GetScreenRect();
  const wxPoint point(field.x + field.width / 2, field.y + field.height);
  int left = point.x - std::min(body.x / 4, 24);
  const int display = wxDisplay::GetFromWindow(target);
  const wxRect screen = wxDisplay(display == wxNOT_FOUND ? 0u : static_cast<unsigned>(display)).GetGeometry();
  left = std::clamp(left, screen.x, std::max(screen.x, screen.GetRight() - size.x));
  arrowX_ = std::clamp(point.x - left, kArrowHalfWidth + 2, size.x - kArrowHalfWidth - 2);

  SetSize(left, point.y, size.x, size.y);
  const wxPoint outline[] = {{0, kArrowHeight},
                             {arrowX_ - kArrowHalfWidth, kArrowHeight},
                             {arrowX_, 0},
                             {arrowX_ + kArrowHalfWidth, kArrowHeight},
                             {size.x, kArrowHeight},
                             {size.x, size.y},
                             {0, size.y}};
  SetShape(wxRegion(WXSIZEOF(outline), outline));
  if (!clickWatch_) clickWatch_ = new ClickWatch(*this);
  timeout_.StartOnce(timeoutMs);
  Show();
  Refresh();
}

void BalloonTip::Dismiss() {
  timeout_.Stop();
  delete clickWatch_;
  clickWatch_ = nullptr;
  if (IsShown()) Hide();
}

void BalloonTip::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  const wxSize size = GetClientSize();
  dc.SetBackground(wxBrush(Background()));
  dc.Clear();
  dc.SetPen(wxPen(wxColour(120, 120, 120)));
  dc.SetBrush(wxBrush(Background()));
  const wxPoint outline[] = {{0, kArrowHeight},
                             {arrowX_ - kArrowHalfWidth, kArrowHeight},
                             {arrowX_, 0},
                             {arrowX_ + kArrowHalfWidth, kArrowHeight},
                             {size.x - 1, kArrowHeight},
                             {size.x - 1, size.y - 1},
                             {0, size.y - 1}};
  dc.DrawPolygon(WXSIZEOF(outline), outline);
  int x = kPadding;
  const int top = kArrowHeight + kPadding;
  if (icon_.IsOk()) {
    dc.DrawBitmap(icon_, x, top, true);
    x += icon_.GetWidth() + kIconGap;
  }
  dc.SetFont(GetFont());
  dc.SetTextForeground(*wxBLACK);
  dc.DrawText(text_, x, top);
}

}  // namespace wexmoor
