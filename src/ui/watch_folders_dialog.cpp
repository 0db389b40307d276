#include "ui/watch_folders_dialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dirdlg.h>
#include <wx/listbox.h>
#include <wx/panel.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "ui/label_fit.h"
#include "ui/wx_text.h"

namespace wexmoor {

namespace {
// Push buttons: padding and frame; check boxes: the indicator.
constexpr int kButtonRoom = 12;
constexpr int kIndicatorRoom = 20;
}  // namespace

Text WatchFolderRowText(const WatchFolderSetting& setting) {
  Text row = setting.folder + u"  \u2192  " + setting.server;
  if (!setting.subfolder.empty()) row += u"/" + setting.subfolder;
  if (setting.after == 1) row += u"  \u2192  Sent";
  return row;
}

WatchFoldersDialog::WatchFoldersDialog(wxWindow* owner, const Translator& translator, const ServerTable& servers,
                                       std::vector<WatchFolderSetting> folders)
    : wxDialog(owner, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxCAPTION | wxCLOSE_BOX),
      translator_(translator),
      folders_(std::move(folders)) {
  SetTitle(ToWx(Tr(u"Watch folders")));
  auto* panel = new wxPanel(this, wxID_ANY, wxPoint(0, 0), wxSize(kWidth, kHeight));
  auto fit = [this](wxWindow* control, int reserved) {
    FitLabelFont(control, reserved);
    labelled_.push_back(control);
  };
  auto label = [&](const Text& text, int y) {
    auto* made = new wxStaticText(panel, wxID_ANY, wxControl::EscapeMnemonics(ToWx(text)), wxPoint(8, y + 1),
                                  wxSize(122, 20), wxST_NO_AUTORESIZE);
    fit(made, 0);
  };
  auto button = [&](int id, const Text& text, int x, int y, int w) {
    auto* made = new wxButton(panel, id, wxControl::EscapeMnemonics(ToWx(text)), wxPoint(x, y), wxSize(w, 24));
    fit(made, kButtonRoom);
    return made;
  };

  list_ = new wxListBox(panel, wxID_ANY, wxPoint(8, 8), wxSize(kWidth - 16, 106), 0, nullptr, wxLB_SINGLE);
  label(Tr(u"Folder:"), 122);
  folder_ = new wxTextCtrl(panel, wxID_ANY, wxString(), wxPoint(132, 122), wxSize(252, 22));
  auto* browse = new wxButton(panel, wxID_ANY, "...", wxPoint(390, 122), wxSize(32, 22));
  label(Tr(u"Server name:"), 150);
  server_ = new wxChoice(panel, wxID_ANY, wxPoint(132, 150), wxSize(180, 22));
  for (const Text& name : servers.Names()) server_->Append(ToWx(name));
  label(Tr(u"Remote subfolder:"), 178);
  subfolder_ = new wxTextCtrl(panel, wxID_ANY, wxString(), wxPoint(132, 178), wxSize(180, 22));
  move_ = new wxCheckBox(panel, wxID_ANY, wxControl::EscapeMnemonics(ToWx(Tr(u"Move into Sent after upload"))),
                         wxPoint(132, 204), wxSize(290, 20));
  fit(move_, kIndicatorRoom);
  wxButton* add = button(wxID_ADD, Tr(u"Add"), 8, 232, 96);
  wxButton* remove = button(wxID_DELETE, Tr(u"Delete"), 110, 232, 96);
  button(wxID_OK, Tr(u"OK"), 232, 232, 92);
  button(wxID_CANCEL, Tr(u"Cancel"), 330, 232, 92);
  SetClientSize(kWidth, kHeight);
  CentreOnParent();
  Refill();

  list_->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { ShowSelected(); });
  add->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Add(); });
  remove->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { DeleteSelected(); });
  browse->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    wxDirDialog chooser(this, ToWx(Tr(u"Folder:")), folder_->GetValue(), wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (chooser.ShowModal() == wxID_OK) folder_->ChangeValue(chooser.GetPath());
  });
}

void WatchFoldersDialog::Refill() {
  list_->Clear();
  for (const WatchFolderSetting& setting : folders_) list_->Append(ToWx(WatchFolderRowText(setting)));
}

void WatchFoldersDialog::ShowSelected() {
  const int row = list_->GetSelection();
  if (row == wxNOT_FOUND || row >= static_cast<int>(folders_.size())) return;
  const WatchFolderSetting& setting = folders_[static_cast<std::size_t>(row)];
  folder_->ChangeValue(ToWx(setting.folder));
  server_->SetStringSelection(ToWx(setting.server));
  subfolder_->ChangeValue(ToWx(setting.subfolder));
  move_->SetValue(setting.after == 1);
}

void WatchFoldersDialog::Add() {
  WatchFolderSetting setting;
  setting.folder = FromWx(folder_->GetValue());
  setting.server = server_->GetSelection() == wxNOT_FOUND ? Text() : FromWx(server_->GetStringSelection());
  setting.subfolder = FromWx(subfolder_->GetValue());
  setting.after = move_->GetValue() ? 1 : 0;
  // The stored value separates its fields with "|": a field holding one, or
  // a missing folder or server, is not a watch folder.
  while (setting.subfolder.starts_with(u"/")) setting.subfolder.erase(0, 1);
  if (setting.folder.empty() || setting.server.empty() || setting.server.find(u'|') != Text::npos ||
      setting.subfolder.find(u'|') != Text::npos) {
    wxBell();
    return;
  }
  folders_.push_back(std::move(setting));
  Refill();
  list_->SetSelection(static_cast<int>(folders_.size()) - 1);
}

void WatchFoldersDialog::DeleteSelected() {
  const int row = list_->GetSelection();
  if (row == wxNOT_FOUND || row >= static_cast<int>(folders_.size())) return;
  folders_.erase(folders_.begin() + row);
  Refill();
}

bool EditWatchFolders(wxWindow* owner, const Translator& translator, const ServerTable& servers,
                      std::vector<WatchFolderSetting>& folders) {
  WatchFoldersDialog dialog(owner, translator, servers, folders);
  if (dialog.ShowModal() != wxID_OK) return false;
  folders = dialog.Folders();
  return true;
}

}  // namespace wexmoor
