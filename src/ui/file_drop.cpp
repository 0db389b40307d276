#include "ui/file_drop.h"

#include <wx/app.h>
#include <wx/window.h>

#include "ui/wx_text.h"

namespace wexmoor {

bool FileDropForwarder::OnDropFiles(wxCoord, wxCoord, const wxArrayString& files) {
  std::vector<Text> paths;
  paths.reserve(files.size());
  for (const wxString& f : files) paths.push_back(FromWx(f));
  // Handled after the drag-and-drop exchange has finished, so a long intake
  // (packing a folder) does not keep the drag source waiting.
  if (receiver_) {
    DropReceiver receiver = receiver_;
    wxTheApp->CallAfter([receiver, paths] { receiver(paths); });
  }
  return true;
}

void AcceptDropsEverywhere(wxWindow* window, const DropReceiver& receiver) {
  if (!window) return;
  window->SetDropTarget(new FileDropForwarder(receiver));
  for (wxWindow* child : window->GetChildren()) AcceptDropsEverywhere(child, receiver);
}

}  // namespace wexmoor
