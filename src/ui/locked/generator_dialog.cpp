#include "ui/locked/generator_dialog.h"

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/gdicmn.h>
#include <wx/icon.h>
#include <wx/listctrl.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "ui/locked/fitted_text_window.h"
#include "locked/locked_copy_generator.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "ui/secondary_position.h"
#include "ui/wx_text.h"

namespace wexmoor {

GeneratorDialog::GeneratorDialog(wxWindow* owner, const ServerTable& servers, const Translator& translator,
                                 const wxIcon* icon)
    : wxDialog(owner, wxID_ANY, ToWx(translator.Translate(u"Generate a locked version of Wexmoor")),
               SecondaryWindowPosition(0), wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      translator_(translator) {
  if (icon != nullptr && icon->IsOk()) SetIcon(*icon);
  SetClientSize(380, 470);
  Move(SecondaryWindowPosition(0));
  auto* panel = new wxPanel(this, wxID_ANY, wxPoint(0, 0), wxSize(380, 470));
  auto tr = [&](const char16_t* english) { return ToWx(translator_.Translate(english)); };

  auto* intro = new wxStaticText(panel, wxID_ANY, wxEmptyString, wxPoint(10, 5), wxSize(360, 68),
                                 wxST_NO_AUTORESIZE);
  FitStaticText(intro,
                tr(u"This command will generate a locked version of Wexmoor which you can distribute to your friends or clients.") +
                    "\n" + tr(u"Please choose the server/folder that you want them to use.") + "\n" +
                    tr(u"Your FTP adress, login and password will be hidden into this program file."),
                360, 68);
  new wxStaticText(panel, wxID_ANY, tr(u"Please choose your server setting:"), wxPoint(10, 78), wxSize(360, 17),
                   wxST_NO_AUTORESIZE);

  list_ = new wxListCtrl(panel, wxID_ANY, wxPoint(10, 95), wxSize(355, 218),
                         wxLC_REPORT | wxLC_SINGLE_SEL | wxBORDER_SUNKEN);
  list_->InsertColumn(0, tr(u"Server name:"), wxLIST_FORMAT_LEFT, 186);
  list_->InsertColumn(1, tr(u"Server adress & repertory:"), wxLIST_FORMAT_LEFT, 280);
  for (int slot = 1; slot <= ServerTable::kMaxServers; ++slot) {
    ServerRecord record = servers.Get(slot);
    if (record.name.empty()) break;
    long row = list_->InsertItem(slot - 1, ToWx(record.name));
    list_->SetItem(row, 1, ToWx(record.address));
  }

  auto* pictureButton = new wxButton(panel, wxID_ANY, tr(u"Personalize with a picture..."), wxPoint(10, 328),
                                     wxSize(155, 22));
  FitButtonLabel(pictureButton, 155);
  auto* neededSize = new wxStaticText(panel, wxID_ANY, wxEmptyString, wxPoint(10, 350), wxSize(155, 22),
                                      wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
  FitStaticText(neededSize,
                ToWx(IntToText(kPictureBoxWidth) + u" x " + IntToText(kPictureBoxHeight) + u" px  -  jpg, bmp, gif, ico"),
                155, 22);
  pictureBox_ = new wxStaticBitmap(panel, wxID_ANY, wxNullBitmap, wxPoint(175, 320), wxSize(190, 49),
                                   wxBORDER_SUNKEN);
  auto* line = new wxPanel(panel, wxID_ANY, wxPoint(10, 402), wxSize(353, 1));
  line->SetBackgroundColour(*wxBLACK);

  ok_ = new wxButton(panel, wxID_OK, tr(u"OK"), wxPoint(295, 410), wxSize(70, 22));
  auto* cancel = new wxButton(panel, wxID_CANCEL, tr(u"Cancel"), wxPoint(195, 410), wxSize(90, 22));
  ok_->Disable();

  pictureButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnChoosePicture(); });
  ok_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnOk(); });
  cancel->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnCancel(); });
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { OnCancel(); });
  list_->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent& event) {
    event.Skip();
    UpdateOkButton();
  });
  list_->Bind(wxEVT_LIST_ITEM_DESELECTED, [this](wxListEvent& event) {
    event.Skip();
    UpdateOkButton();
  });
  // Selection changes that send no event (a click on empty space) are caught
  // when the window next goes idle.
  Bind(wxEVT_IDLE, [this](wxIdleEvent& event) {
    event.Skip();
    UpdateOkButton();
  });
}

void GeneratorDialog::UpdateOkButton() {
  const bool selected = list_->GetSelectedItemCount() > 0;
  if (ok_->IsEnabled() != selected) ok_->Enable(selected);
}

Text GeneratorDialog::TakePicture(const Text& path) {
  const std::int64_t size = FileSize(path);
  if (!PictureSizeAccepted(size)) {
    picturePath_.clear();
    return PictureTooLargeMessage(size, translator_);
  }
  if (!picture_.LoadPictureFile(path)) {
    picturePath_.clear();
    return {};
  }
  picture_.FitPicture(kPictureBoxWidth, kPictureBoxHeight);
  pictureBox_->SetBitmap(picture_.Bitmap());
  pictureBox_->SetSize(175, 320, 190, 49);  // the box keeps its place and size
  picturePath_ = path;
  return {};
}

void GeneratorDialog::OnChoosePicture() {
  // The requester's title is not translated.
  wxFileDialog chooser(this, "Choose a picture", wxEmptyString, wxEmptyString,
                       "Picture|*.jpg;*.jpeg;*.png;*.gif;*.bmp;*.ico;*.JPG;*.JPEG;*.PNG;*.GIF;*.BMP;*.ICO",
                       wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (chooser.ShowModal() != wxID_OK) return;
  Text message = TakePicture(FromWx(chooser.GetPath()));
  if (!message.empty()) {
    wxMessageBox(ToWx(message), ToWx(translator_.Translate(u"Error")), wxOK | wxICON_ERROR, this);
  }
  UpdateOkButton();
}

void GeneratorDialog::OnOk() {
  long row = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
  if (row < 0) return;
  chosenSlot_ = static_cast<int>(row) + 1;
  EndModal(wxID_OK);
}

void GeneratorDialog::OnCancel() {
  chosenSlot_ = 0;
  if (IsModal()) {
    EndModal(wxID_CANCEL);
  } else {
    Hide();
  }
}

void RunLockedCopyGenerator(wxWindow* owner, const ServerTable& servers, const Translator& translator,
                            const wxIcon* icon) {
  int slot = 0;
  Text picturePath;
  {
    GeneratorDialog dialog(owner, servers, translator, icon);
    dialog.ShowModal();
    slot = dialog.ChosenSlot();
    picturePath = dialog.PicturePath();
  }
  if (slot <= 0) return;
  ServerRecord server = servers.Get(slot);
  if (server.name.empty()) return;

  wxFileDialog saver(owner, ToWx(translator.Translate(u"Save a locked version of Wexmoor")), wxEmptyString,
                     "Locked_Wexmoor", "*", wxFD_SAVE);
  if (saver.ShowModal() != wxID_OK) return;
  const Text target = FromWx(saver.GetPath());
  if (target.empty()) return;

  GenerateResult result = GenerateLockedCopy(OwnExecutablePath(), target, server, picturePath, translator);
  if (!result.message.empty()) {
    wxMessageBox(ToWx(result.message), ToWx(translator.Translate(result.ok ? u"Information" : u"Error")),
                 wxOK | (result.ok ? wxICON_INFORMATION : wxICON_ERROR), owner);
  }
  if (owner != nullptr) owner->SetFocus();
}

}  // namespace wexmoor
