#include "ui/queue_list_ctrl.h"

#include <algorithm>

#include <wx/dcmemory.h>
#include <wx/imaglist.h>
#include <wx/utils.h>

#include "ui/wx_text.h"

namespace wexmoor {
namespace {

constexpr int kIcon = 10;

// The four state pictures, drawn: a hollow grey ring (queued), a green
// arrow up (uploading), an amber clock (waiting to retry), a red cross
// (local file missing).
wxBitmap StateIcon(QueueRowIcon icon) {
  wxBitmap bitmap(kIcon, kIcon, 32);
  wxMemoryDC dc(bitmap);
  dc.SetBackground(*wxWHITE_BRUSH);
  dc.Clear();
  switch (icon) {
    case QueueRowIcon::kQueued:
      dc.SetPen(wxPen(wxColour(128, 128, 128), 1));
      dc.SetBrush(*wxTRANSPARENT_BRUSH);
      dc.DrawCircle(5, 5, 3);
      break;
    case QueueRowIcon::kUploading: {
      dc.SetPen(wxPen(wxColour(0, 140, 0), 1));
      dc.SetBrush(wxBrush(wxColour(0, 170, 0)));
      const wxPoint arrow[] = {{5, 0}, {9, 5}, {7, 5}, {7, 9}, {3, 9}, {3, 5}, {1, 5}};
      dc.DrawPolygon(7, arrow);
      break;
    }
    case QueueRowIcon::kWaiting:
      dc.SetPen(wxPen(wxColour(200, 120, 0), 1));
      dc.SetBrush(wxBrush(wxColour(255, 200, 80)));
      dc.DrawCircle(5, 5, 4);
      dc.DrawLine(5, 5, 5, 2);
      dc.DrawLine(5, 5, 7, 6);
      break;
    case QueueRowIcon::kMissing:
      dc.SetPen(wxPen(wxColour(200, 0, 0), 2));
      dc.DrawLine(1, 1, 9, 9);
      dc.DrawLine(9, 1, 1, 9);
      break;
  }
  dc.SelectObject(wxNullBitmap);
  return bitmap;
}

}  // namespace

QueueListCtrl::QueueListCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                             const wxSize& size)
    : wxListCtrl(parent, id, pos, size,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_NO_HEADER | wxLC_SINGLE_SEL | wxBORDER_SUNKEN) {
  auto* icons = new wxImageList(kIcon, kIcon, false, 4);
  for (QueueRowIcon icon : {QueueRowIcon::kQueued, QueueRowIcon::kUploading, QueueRowIcon::kWaiting,
                            QueueRowIcon::kMissing})
    icons->Add(StateIcon(icon));
  AssignImageList(icons, wxIMAGE_LIST_SMALL);
  InsertColumn(0, wxString(), wxLIST_FORMAT_LEFT, size.GetWidth() - 22);
  Bind(wxEVT_MOTION, &QueueListCtrl::OnMotion, this);
  Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent& e) {
    e.Skip();
    UpdateTip();  // GTK also says "left" when the pointer enters the list's rows
  });
  Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent& e) {
    selected_ = static_cast<int>(e.GetIndex());
    e.Skip();
  });
  Bind(wxEVT_LIST_ITEM_DESELECTED, [this](wxListEvent& e) {
    if (selected_ == e.GetIndex()) selected_ = -1;
    e.Skip();
  });
}

void QueueListCtrl::Append(const Text& text) {
  items_.push_back(text);
  UpdateCount();
}

void QueueListCtrl::RemoveAt(int index) {
  if (index < 0 || index >= Count()) return;
  const int selected = Selected();
  if (selected >= 0) Select(-1);  // while the indices are still valid
  items_.erase(items_.begin() + index);
  UpdateCount();
  if (selected > index) Select(selected - 1);
}

int QueueListCtrl::Selected() const {
  if (selected_ < 0 || selected_ >= Count()) return -1;
  return selected_;
}

int QueueListCtrl::RowAt(const wxPoint& point) {
  int flags = 0;
  const long row = HitTest(point, flags);
  return row >= 0 && row < Count() ? static_cast<int>(row) : -1;
}

void QueueListCtrl::Select(int index) {
  const int old = Selected();
  if (old >= 0 && old != index) SetItemState(old, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
  if (index >= 0 && index < Count()) {
    selected_ = index;
    SetItemState(index, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                 wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
  } else {
    selected_ = -1;
  }
}

void QueueListCtrl::UpdateCount() {
  SetItemCount(static_cast<long>(items_.size()));
  Refresh();
  // Another entry may stand under the shown tip now (a resting pointer over
  // a new row gets its tip with the next refresh of the states).
  if (!shownTip_.empty()) UpdateTip();
}

void QueueListCtrl::RefreshStates() {
  UpdateTip();
  if (Count() == 0 || !rowState_) return;
  const long top = GetTopItem();
  const long last = std::min<long>(Count() - 1, top + GetCountPerPage());
  if (top >= 0 && last >= top) RefreshItems(top, last);
}

int QueueListCtrl::OnGetItemImage(long item) const {
  if (!rowState_ || item < 0 || item >= Count()) return static_cast<int>(QueueRowIcon::kQueued);
  return static_cast<int>(rowState_(static_cast<int>(item)).icon);
}

void QueueListCtrl::OnMotion(wxMouseEvent& e) {
  e.Skip();
  UpdateTip();
}

void QueueListCtrl::UpdateTip() {
  if (!rowState_ || !IsShownOnScreen()) {
    ShowTip({});
    return;
  }
  // The row under the pointer now, whatever event came last.
  const wxPoint at = ScreenToClient(wxGetMousePosition());
  if (!GetClientRect().Contains(at)) {
    ShowTip({});
    return;
  }
  int flags = 0;
  const long row = HitTest(at, flags);
  ShowTip(row >= 0 && row < Count() ? rowState_(static_cast<int>(row)).tip : Text());
}

void QueueListCtrl::ShowTip(const Text& tip) {
  if (tip == shownTip_) return;
  shownTip_ = tip;
  if (tip.empty())
    UnsetToolTip();
  else
    SetToolTip(ToWx(tip));  // a shown tip takes the new text at once
}

wxString QueueListCtrl::OnGetItemText(long item, long) const {
  if (item < 0 || item >= Count()) return wxString();
  return ToWx(items_[static_cast<std::size_t>(item)]);
}

}  // namespace wexmoor
