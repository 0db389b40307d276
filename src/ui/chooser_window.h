// The first-start window that asks for the interface language.
#pragma once

#include <wx/icon.h>

#include "i18n/language_translator.h"

namespace wexmoor {

// Runs the "Languages" window modally; every click on a language makes it
// the current one. The language stays as it was when the window is closed
// without a choice.
void RunLanguageChooser(Translator& translator, const wxIcon* icon = nullptr);

}  // namespace wexmoor
