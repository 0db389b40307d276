// Dropped files: every control of a window gets one of these targets, so a
// drop anywhere on the window hands its paths to the same handler (GTK would
// otherwise insert "file://" text into text and list controls).
#pragma once

#include <functional>
#include <vector>

#include <wx/dnd.h>

#include "platform/text.h"

namespace wexmoor {

using DropReceiver = std::function<void(const std::vector<Text>& paths)>;

class FileDropForwarder : public wxFileDropTarget {
 public:
  explicit FileDropForwarder(DropReceiver receiver) : receiver_(std::move(receiver)) {}
  bool OnDropFiles(wxCoord x, wxCoord y, const wxArrayString& files) override;

 private:
  DropReceiver receiver_;
};

// Gives `window` and every window below it a drop target forwarding to
// `receiver`.
void AcceptDropsEverywhere(wxWindow* window, const DropReceiver& receiver);

}  // namespace wexmoor
