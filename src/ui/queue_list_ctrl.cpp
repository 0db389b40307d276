#include "ui/queue_list_ctrl.h"

#include <algorithm>

#include <wx/dcmemory.h>
#include <wx/imaglist.h>
#include <wx/utils.h>

#include "ui/wx_text.h"

namespace wexmoor {
namespace {

constexpr int kIcon = 10;

// The state pictures, drawn: a hollow grey ring (queued), a green arrow up
// (uploading), an amber clock (waiting to retry), a red cross (local file
// missing), two blue bars (paused).
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
    case QueueRowIcon::kPaused:
      dc.SetPen(*wxTRANSPARENT_PEN);
      dc.SetBrush(wxBrush(wxColour(40, 90, 200)));
      dc.DrawRectangle(2, 1, 2, 8);
      dc.DrawRectangle(6, 1, 2, 8);
      break;
  }
  dc.SelectObject(wxNullBitmap);
  return bitmap;
}

}  // namespace

QueueListCtrl::QueueListCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                             const wxSize& size)
    : wxListCtrl(parent, id, pos, size,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_NO_HEADER | wxBORDER_SUNKEN) {
  auto* icons = new wxImageList(kIcon, kIcon, false, 5);
  for (QueueRowIcon icon : {QueueRowIcon::kQueued, QueueRowIcon::kUploading, QueueRowIcon::kWaiting,
                            QueueRowIcon::kMissing, QueueRowIcon::kPaused})
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
  if (GetSelectedItemCount() == 0) {
    items_.erase(items_.begin() + index);
    UpdateCount();
    return;
  }
  // The selection follows its rows (cleared while the indices are valid).
  const int clicked = Selected();
  std::vector<int> selected = SelectedRows();
  Select(-1);
  items_.erase(items_.begin() + index);
  UpdateCount();
  for (int row : selected) {
    if (row == index) continue;
    SelectOne(row > index ? row - 1 : row);
  }
  if (clicked >= 0 && clicked != index) selected_ = clicked > index ? clicked - 1 : clicked;
}

void QueueListCtrl::RemoveRows(const std::vector<int>& rows) {
  Select(-1);
  std::vector<bool> gone(items_.size(), false);
  for (int row : rows)
    if (row >= 0 && row < Count()) gone[static_cast<std::size_t>(row)] = true;
  std::deque<Text> kept;
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (!gone[i]) kept.push_back(std::move(items_[i]));
  items_.swap(kept);
  UpdateCount();
}

void QueueListCtrl::MoveRows(const std::vector<int>& rows, bool toTop) {
  std::vector<bool> moved(items_.size(), false);
  int count = 0;
  for (int row : rows)
    if (row >= 0 && row < Count() && !moved[static_cast<std::size_t>(row)]) {
      moved[static_cast<std::size_t>(row)] = true;
      ++count;
    }
  if (count == 0) return;
  Select(-1);
  std::deque<Text> first, second;
  for (std::size_t i = 0; i < items_.size(); ++i)
    ((moved[i] == toTop) ? first : second).push_back(std::move(items_[i]));
  for (Text& text : second) first.push_back(std::move(text));
  items_.swap(first);
  UpdateCount();
  const int from = toTop ? 0 : Count() - count;
  for (int row = from; row < from + count; ++row) SelectOne(row);
  selected_ = from;
  EnsureVisible(from);
}

int QueueListCtrl::Selected() const {
  if (GetSelectedItemCount() == 0) return -1;
  if (selected_ >= 0 && selected_ < Count() && GetItemState(selected_, wxLIST_STATE_SELECTED) != 0) return selected_;
  const long first = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
  return first >= 0 && first < Count() ? static_cast<int>(first) : -1;
}

std::vector<int> QueueListCtrl::SelectedRows() const {
  std::vector<int> rows;
  if (GetSelectedItemCount() == 0) return rows;
  for (long row = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row >= 0 && row < Count();
       row = GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
    rows.push_back(static_cast<int>(row));
  return rows;
}

void QueueListCtrl::SelectOne(int index) {
  if (index >= 0 && index < Count()) SetItemState(index, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

int QueueListCtrl::RowAt(const wxPoint& point) {
  int flags = 0;
  const long row = HitTest(point, flags);
  return row >= 0 && row < Count() ? static_cast<int>(row) : -1;
}

void QueueListCtrl::Select(int index) {
  if (GetSelectedItemCount() > 0) {
    // Every row at once (the list then only forgets its selection).
    if (GetSelectedItemCount() == 1 && Selected() >= 0)
      SetItemState(Selected(), 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    else
      SetItemState(-1, 0, wxLIST_STATE_SELECTED);
  }
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
