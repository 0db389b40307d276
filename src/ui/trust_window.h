// The window that asks whether to trust a server's certificate: what the
// certificate says (subject, issuer, validity, SHA-256 fingerprint), whether
// it replaced one trusted before, and Trust / Cancel. Fixed geometry.
#pragma once

#include <wx/dialog.h>
#include <wx/icon.h>

#include "i18n/language_translator.h"
#include "program/certificate_trust.h"

class wxButton;

namespace wexmoor {

class TrustWindow : public wxDialog {
 public:
  TrustWindow(wxWindow* owner, const Translator& translator, const TrustRequest& request, const wxIcon* icon);
  wxButton* TrustButton() const { return trust_; }

 private:
  wxButton* trust_ = nullptr;
};

// Shows the window modally; true when the user chose Trust.
bool AskCertificateTrust(wxWindow* owner, const Translator& translator, const TrustRequest& request,
                         const wxIcon* icon);

}  // namespace wexmoor
