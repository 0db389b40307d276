#include "ui/locked/welcome_window.h"

#include <wx/button.h>
#include <wx/font.h>
#include <wx/gdicmn.h>
#include <wx/icon.h>
#include <wx/panel.h>
#include <wx/stattext.h>

#include "ui/locked/fitted_text_window.h"
#include "platform/code_page.h"
#include "ui/secondary_position.h"
#include "ui/wx_text.h"

namespace wexmoor {

WelcomeWindow::WelcomeWindow(wxWindow* owner, const Translator& translator, const wxIcon* icon)
    : wxDialog(owner, wxID_ANY, ToWx(translator.Translate(u"Welcome to this new version!")),
               SecondaryWindowPosition(0), wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  if (icon != nullptr && icon->IsOk()) SetIcon(*icon);
  SetClientSize(390, 240);
  Move(SecondaryWindowPosition(0));
  auto* panel = new wxPanel(this, wxID_ANY, wxPoint(0, 0), wxSize(390, 240));
  auto tr = [&](const char16_t* english) { return ToWx(translator.Translate(english)); };

  auto* heading = new wxStaticText(panel, wxID_ANY, tr(u"Welcome to this new version!"), wxPoint(10, 5),
                                   wxSize(370, 22), wxST_NO_AUTORESIZE);
  heading->SetFont(wxFont(wxFontInfo(14).Bold().FaceName("Arial").Family(wxFONTFAMILY_SWISS)));

  auto* text = new wxStaticText(panel, wxID_ANY, wxEmptyString, wxPoint(10, 35), wxSize(370, 160),
                                wxST_NO_AUTORESIZE);
  FitStaticText(
      text,
      tr(u"This new version of Wexmoor offers you a new exciting option.") + "\n" +
          tr(u"You can now generate a customized and locked version of this program which includes your logo and a server settings.") +
          "\n\n" + tr(u"Your FTP adress, login and password will be hidden into this program file.") +
          "\n\n" +
          tr(u"So, you can give a securized access to your FTP (or to one of the repertories of your FTP) to your friends or clients.") +
          "\n\n" + tr(u"Clic on the ''?'' button to try it!!"),
      370, 155);

  auto* ok = new wxButton(panel, wxID_OK, tr(u"OK"), wxPoint(305, 180), wxSize(70, 22));
  ok->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_OK); });
  SetEscapeId(wxID_OK);
}

void ShowWelcomeWindow(wxWindow* owner, const Translator& translator, const wxIcon* icon) {
  {
    WelcomeWindow window(owner, translator, icon);
    window.ShowModal();
  }
  if (owner != nullptr) owner->SetFocus();
}

}  // namespace wexmoor
