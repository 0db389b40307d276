#include "ui/queue_list_ctrl.h"

#include "ui/wx_text.h"

namespace wexmoor {

QueueListCtrl::QueueListCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                             const wxSize& size)
    : wxListCtrl(parent, id, pos, size,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_NO_HEADER | wxLC_SINGLE_SEL | wxBORDER_SUNKEN) {
  InsertColumn(0, wxString(), wxLIST_FORMAT_LEFT, size.GetWidth() - 22);
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
}

wxString QueueListCtrl::OnGetItemText(long item, long) const {
  if (item < 0 || item >= Count()) return wxString();
  return ToWx(items_[static_cast<std::size_t>(item)]);
}

}  // namespace wexmoor
