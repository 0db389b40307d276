#include "ui/chooser_window.h"

#include <array>
#include <vector>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/panel.h>
#include <wx/radiobut.h>

#include "ui/label_fit.h"
#include "i18n/language_table.h"
#include "ui/secondary_position.h"
#include "ui/wx_text.h"

namespace wexmoor {

void RunLanguageChooser(Translator& translator, const wxIcon* icon) {
  wxDialog window(nullptr, wxID_ANY, "Languages", SecondaryWindowPosition(), wxDefaultSize,
                  wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
  if (icon && icon->IsOk()) window.SetIcon(*icon);
  window.SetClientSize(440, 90);
  window.Move(SecondaryWindowPosition());
  auto* panel = new wxPanel(&window, wxID_ANY, wxPoint(0, 0), wxSize(440, 90));
  // GTK always has one option of a group switched on: a hidden one holds that
  // place so none of the six shows as chosen.
  auto* none = new wxRadioButton(panel, wxID_ANY, wxString(), wxPoint(0, 0), wxSize(1, 1), wxRB_GROUP);
  none->SetValue(true);
  none->Hide();
  const std::array<wxPoint, kLanguageCount> places{wxPoint(10, 10),  wxPoint(120, 10), wxPoint(230, 10),
                                                   wxPoint(340, 10), wxPoint(10, 30),  wxPoint(120, 30)};
  // Each option as wide as the room up to the next column; all six share
  // one font, so no name looks smaller than the others.
  std::vector<wxRadioButton*> options;
  for (std::size_t i = 0; i < places.size(); ++i) {
    const int width = places[i].x + 105 <= 440 ? 105 : 440 - places[i].x - 4;
    auto* option = new wxRadioButton(panel, wxID_ANY, ToWx(kLanguageNames[i]), places[i], wxSize(width, 20));
    option->Bind(wxEVT_RADIOBUTTON, [&translator, i](wxCommandEvent&) {
      translator.SetLanguage(kLanguageNames[i]);
    });
    options.push_back(option);
  }
  FitOptionsAlike(options, 22);
  auto* ok = new wxButton(panel, wxID_OK, "OK", wxPoint(355, 60), wxSize(70, 22));
  ok->Bind(wxEVT_BUTTON, [&window](wxCommandEvent&) { window.EndModal(wxID_OK); });
  window.Bind(wxEVT_CLOSE_WINDOW, [&window](wxCloseEvent&) { window.EndModal(wxID_CANCEL); });
  window.ShowModal();
}

}  // namespace wexmoor
