// Texts across the edge to wxWidgets: the program's UTF-16 texts become
// wxStrings through UTF-8 and back.
#pragma once

#include <wx/string.h>

#include "platform/code_page.h"
#include "platform/text.h"

namespace wexmoor {

inline wxString ToWx(TextView text) { return wxString::FromUTF8(Utf16ToUtf8(text)); }

inline Text FromWx(const wxString& text) {
  const wxScopedCharBuffer utf8 = text.utf8_str();
  return Utf8ToUtf16(std::string_view(utf8.data(), utf8.length()));
}

}  // namespace wexmoor
