// The queue list: a virtual one-column list over a deque of display texts,
// so adding at the end and removing near the front stay cheap with tens of
// thousands of queued files. Several rows may be selected.
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include <wx/listctrl.h>

#include "platform/text.h"

namespace wexmoor {

// What a row shows beside its text: a small picture of its delivery state
// and, on hover, a tip (last error, next attempt).
enum class QueueRowIcon { kQueued, kUploading, kWaiting, kMissing, kPaused };
struct QueueRowState {
  QueueRowIcon icon = QueueRowIcon::kQueued;
  Text tip;
  Text server;                 // the entry's server
  bool waitsForTrust = false;  // held by a certificate or host key not trusted
};

class QueueListCtrl : public wxListCtrl {
 public:
  QueueListCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size);

  int Count() const { return static_cast<int>(items_.size()); }
  const Text& Item(int index) const { return items_[static_cast<std::size_t>(index)]; }
  void Append(const Text& text);
  void RemoveAt(int index);
  // Removes the rows at these indices (ascending); the selection is cleared.
  void RemoveRows(const std::vector<int>& rows);
  // Moves the rows at these indices (ascending) to the top or the bottom,
  // in their order; they stay selected.
  void MoveRows(const std::vector<int>& rows, bool toTop);
  // The row last clicked while it is selected, else the first selected; -1
  // when none is.
  int Selected() const;
  // Every selected row, ascending.
  std::vector<int> SelectedRows() const;
  // The row at `point` (client coordinates), or -1.
  int RowAt(const wxPoint& point);
  void Select(int index);  // only this row; -1 clears the selection
  // Where each row's state comes from (row index = queue index).
  void SetRowStates(std::function<QueueRowState(int row)> source) { rowState_ = std::move(source); }
  // Repaints the visible rows, whose states may have changed, and brings the
  // tip of the row under the pointer up to date.
  void RefreshStates();
  // The tip as it stands now ("" when none is set), for the program's tests.
  const Text& ShownTip() const { return shownTip_; }

 protected:
  wxString OnGetItemText(long item, long column) const override;
  int OnGetItemImage(long item) const override;

 private:
  void UpdateCount();
  // Adds the row to the selection.
  void SelectOne(int index);

  void OnMotion(wxMouseEvent& e);
  // Sets the tip for the row under the pointer (none outside the rows).
  void UpdateTip();
  void ShowTip(const Text& tip);

  std::deque<Text> items_;
  int selected_ = -1;
  std::function<QueueRowState(int row)> rowState_;
  Text shownTip_;
};

}  // namespace wexmoor
