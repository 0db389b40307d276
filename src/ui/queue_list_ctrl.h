// The queue list: a virtual one-column list over a deque of display texts,
// so adding at the end and removing near the front stay cheap with tens of
// thousands of queued files.
#pragma once

#include <deque>

#include <wx/listctrl.h>

#include "platform/text.h"

namespace wexmoor {

class QueueListCtrl : public wxListCtrl {
 public:
  QueueListCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size);

  int Count() const { return static_cast<int>(items_.size()); }
  const Text& Item(int index) const { return items_[static_cast<std::size_t>(index)]; }
  void Append(const Text& text);
  void RemoveAt(int index);
  int Selected() const;
  void Select(int index);  // -1 clears the selection

 protected:
  wxString OnGetItemText(long item, long column) const override;

 private:
  void UpdateCount();

  std::deque<Text> items_;
  int selected_ = -1;
};

}  // namespace wexmoor
