// The generator of locked copies: the dialog that picks a server and a
// picture, and the save requester that writes the copy.
#pragma once

#include <wx/dialog.h>

#include "ui/locked/locked_picture.h"
#include "platform/text.h"
#include "model/server_table.h"
#include "i18n/language_translator.h"

class wxButton;
class wxListCtrl;
class wxListEvent;
class wxStaticBitmap;
class wxIcon;

namespace wexmoor {

class GeneratorDialog : public wxDialog {
 public:
  // `icon` may be null (no window icon).
  GeneratorDialog(wxWindow* owner, const ServerTable& servers, const Translator& translator,
                  const wxIcon* icon = nullptr);

  // After the dialog ends: the chosen server's slot (row + 1), or 0 when it
  // was cancelled; the chosen picture's path, empty when none.
  int ChosenSlot() const { return chosenSlot_; }
  const Text& PicturePath() const { return picturePath_; }

  // Takes the picture file at `path` as the dialog's picture button does:
  // refused when larger than 15000 bytes (the returned message explains it)
  // or when it does not decode (no message); otherwise shown fitted into
  // 186 x 45 and remembered. Returns the message to show, empty when none.
  Text TakePicture(const Text& path);

  // OK is enabled exactly while a row is selected.
  void UpdateOkButton();

  wxListCtrl* ServerList() const { return list_; }
  wxButton* OkButton() const { return ok_; }
  const PictureSlot& Picture() const { return picture_; }

 private:
  void OnChoosePicture();
  void OnOk();
  void OnCancel();

  const Translator& translator_;
  wxListCtrl* list_ = nullptr;
  wxButton* ok_ = nullptr;
  wxStaticBitmap* pictureBox_ = nullptr;
  PictureSlot picture_;
  Text picturePath_;
  int chosenSlot_ = 0;
};

// The About window's generator button: runs the dialog and, when a server was
// chosen, asks where to save the copy and writes it from the running
// program's file. A failure, or anything else the user should know, is shown
// in a message box.
void RunLockedCopyGenerator(wxWindow* owner, const ServerTable& servers, const Translator& translator,
                            const wxIcon* icon = nullptr);

}  // namespace wexmoor
