#include "ui/trust_window.h"

#include <wx/button.h>
#include <wx/panel.h>
#include <wx/stattext.h>

#include <vector>

#include "ui/label_fit.h"
#include "ui/wx_text.h"

namespace wexmoor {
namespace {

constexpr int kWidth = 440;
constexpr int kHeight = 262;
constexpr int kLabelWidth = 130;
constexpr int kValueX = 146;
constexpr int kValueWidth = kWidth - kValueX - 10;
constexpr int kFingerprintPairsPerLine = 16;

// The 32 pairs of a fingerprint on two lines.
Text TwoLineFingerprint(const Text& fingerprint) {
  const std::size_t cut = kFingerprintPairsPerLine * 3;
  if (fingerprint.size() <= cut) return fingerprint;
  return fingerprint.substr(0, cut - 1) + u"\n" + fingerprint.substr(cut);
}

// A host key's "SHA256:..." (50 characters) on two lines, after the type.
Text TwoLineKeyFingerprint(const Text& fingerprint) {
  const std::size_t colon = fingerprint.find(u':');
  if (colon == Text::npos || fingerprint.size() <= 40) return fingerprint;
  return fingerprint.substr(0, colon + 1) + u"\n" + fingerprint.substr(colon + 1);
}

}  // namespace

TrustWindow::TrustWindow(wxWindow* owner, const Translator& translator, const TrustRequest& request,
                         const wxIcon* icon)
    : wxDialog(owner, wxID_ANY, ToWx(translator.Translate(request.keyType.empty() ? u"Certificate" : u"Host key")),
               wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxCLOSE_BOX) {
  if (icon != nullptr && icon->IsOk()) SetIcon(*icon);
  SetClientSize(kWidth, kHeight);
  auto* panel = new wxPanel(this, wxID_ANY, wxPoint(0, 0), wxSize(kWidth, kHeight));
  auto text = [panel](const Text& value, int x, int y, int w, int h, long style = 0) {
    auto* made = new wxStaticText(panel, wxID_ANY, wxControl::EscapeMnemonics(ToWx(value)), wxPoint(x, y),
                                  wxSize(w, h), wxST_NO_AUTORESIZE | style);
    return made;
  };
  const auto tr = [&translator](const char16_t* english) { return translator.Translate(english); };

  const bool hostKey = !request.keyType.empty();
  auto* headline = text(request.changed ? tr(u"Warning: the server's certificate has changed since you trusted it!")
                        : hostKey       ? tr(u"The server shows a host key that is not trusted yet.")
                                        : tr(u"The server shows a certificate that is not trusted yet."),
                        10, 10, kWidth - 20, 34);
  headline->SetLabel(WrapForWidths(headline, FromWx(headline->GetLabel()), [](int) { return kWidth - 20; },
                                   kWidth - 20));
  if (request.changed) headline->SetForegroundColour(wxColour(180, 0, 0));

  struct Row {
    const char16_t* label;
    Text value;
    int height;
  };
  const std::vector<Row> rows =
      hostKey ? std::vector<Row>{{u"Server", request.serverName, 18},
                                 {u"Key type:", request.keyType, 18},
                                 {u"SHA-256 fingerprint:", TwoLineKeyFingerprint(request.summary.fingerprint), 34}}
              : std::vector<Row>{{u"Server", request.serverName, 18},
                                 {u"Subject:", request.summary.subject, 18},
                                 {u"Issuer:", request.summary.issuer, 18},
                                 {u"Valid from:", request.summary.validFrom, 18},
                                 {u"Valid until:", request.summary.validUntil, 18},
                                 {u"SHA-256 fingerprint:", TwoLineFingerprint(request.summary.fingerprint), 34}};
  int y = 50;
  for (const Row& row : rows) {
    Text label = tr(row.label);
    if (!label.empty() && label.back() != u':' && label.back() != u'\uFF1A') label += u":";
    auto* name = text(label, 10, y, kLabelWidth, 17);
    FitLabelFont(name, 0);
    auto* value = text(row.value, kValueX, y, kValueWidth, row.height, row.height > 20 ? 0 : wxST_ELLIPSIZE_END);
    if (row.height > 20) {
      wxFont mono(wxFontInfo(8).Family(wxFONTFAMILY_TELETYPE));
      value->SetFont(mono);
    }
    value->SetToolTip(ToWx(row.value));
    y += row.height + 4;
  }
  auto* question = text(hostKey ? tr(u"Trust this host key for this server?")
                                : tr(u"Trust this certificate for this server?"),
                        10, y + 4, kWidth - 20, 17);
  FitLabelFont(question, 0);
  trust_ = new wxButton(panel, wxID_OK, wxControl::EscapeMnemonics(ToWx(tr(u"Trust"))), wxPoint(kWidth - 180, kHeight - 30),
                        wxSize(80, 22));
  FitLabelFont(trust_, 12);
  auto* cancel = new wxButton(panel, wxID_CANCEL, wxControl::EscapeMnemonics(ToWx(tr(u"Cancel"))),
                              wxPoint(kWidth - 90, kHeight - 30), wxSize(80, 22));
  FitLabelFont(cancel, 12);
  // Cancel is what Enter does: trusting takes a deliberate click.
  cancel->SetDefault();
  cancel->SetFocus();
  CentreOnParent();
}

bool AskCertificateTrust(wxWindow* owner, const Translator& translator, const TrustRequest& request,
                         const wxIcon* icon) {
  TrustWindow window(owner, translator, request, icon);
  return window.ShowModal() == wxID_OK;
}

}  // namespace wexmoor
