#include "ui/program_icon.h"

#include <wx/bitmap.h>
#include <wx/brush.h>
#include <wx/dcmemory.h>
#include <wx/pen.h>

namespace wexmoor {

wxIcon MakeProgramIcon() {
  wxBitmap bitmap(32, 32, 24);
  {
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(wxColour(40, 90, 170)));
    dc.Clear();
    dc.SetPen(*wxWHITE_PEN);
    dc.SetBrush(*wxWHITE_BRUSH);
    const wxPoint arrow[] = {{16, 4}, {27, 16}, {20, 16}, {20, 27}, {12, 27}, {12, 16}, {5, 16}};
    dc.DrawPolygon(7, arrow);
    dc.SelectObject(wxNullBitmap);
  }
  wxIcon icon;
  icon.CopyFromBitmap(bitmap);
  return icon;
}

}  // namespace wexmoor
