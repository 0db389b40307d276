// The window that introduces locked copies at the first start of a new
// version.
#pragma once

#include <wx/dialog.h>

#include "i18n/language_translator.h"

class wxIcon;

namespace wexmoor {

class WelcomeWindow : public wxDialog {
 public:
  // `icon` may be null (no window icon).
  WelcomeWindow(wxWindow* owner, const Translator& translator, const wxIcon* icon = nullptr);
};

// Shows the welcome window modally (its owner is disabled meanwhile) until OK
// or the close box; the owner gets the focus back.
void ShowWelcomeWindow(wxWindow* owner, const Translator& translator, const wxIcon* icon = nullptr);

}  // namespace wexmoor
