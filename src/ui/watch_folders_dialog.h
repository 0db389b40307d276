// The watch-folder list: each watched folder with its server, remote
// subfolder and whether a sent file moves into "Sent". Reached from the server
// list's pop-up menu; only "OK" changes the list.
#pragma once

#include <vector>

#include <wx/dialog.h>

#include "platform/text.h"
#include "model/global_options.h"
#include "model/server_table.h"
#include "i18n/language_translator.h"

class wxButton;
class wxCheckBox;
class wxChoice;
class wxListBox;
class wxTextCtrl;

namespace wexmoor {

// How a watch folder reads in the list: "folder → server/subfolder", with
// " → Sent" when sent files move.
Text WatchFolderRowText(const WatchFolderSetting& setting);

class WatchFoldersDialog : public wxDialog {
 public:
  static constexpr int kWidth = 430;
  static constexpr int kHeight = 262;

  WatchFoldersDialog(wxWindow* owner, const Translator& translator, const ServerTable& servers,
                     std::vector<WatchFolderSetting> folders);

  const std::vector<WatchFolderSetting>& Folders() const { return folders_; }

  // For tests: the fields and buttons.
  wxTextCtrl* FolderField() const { return folder_; }
  wxChoice* ServerChoice() const { return server_; }
  wxTextCtrl* SubfolderField() const { return subfolder_; }
  wxCheckBox* MoveCheck() const { return move_; }
  wxListBox* List() const { return list_; }
  void Add();
  void DeleteSelected();
  void ShowSelected();
  // The labelled controls, to check that every label fits.
  const std::vector<wxWindow*>& Labelled() const { return labelled_; }

 private:
  Text Tr(const char16_t* english) const { return translator_.Translate(english); }
  void Refill();

  const Translator& translator_;
  std::vector<WatchFolderSetting> folders_;
  wxListBox* list_ = nullptr;
  wxTextCtrl* folder_ = nullptr;
  wxChoice* server_ = nullptr;
  wxTextCtrl* subfolder_ = nullptr;
  wxCheckBox* move_ = nullptr;
  std::vector<wxWindow*> labelled_;
};

// Runs the dialog modally; true (and `folders` changed) after "OK".
bool EditWatchFolders(wxWindow* owner, const Translator& translator, const ServerTable& servers,
                      std::vector<WatchFolderSetting>& folders);

}  // namespace wexmoor
