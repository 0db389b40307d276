#include "ui/server_dialog.h"

#include <algorithm>
#include <functional>

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/display.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "platform/code_page.h"
#include "ui/balloon_tip.h"
#include "ui/trust_window.h"
#include "ui/label_fit.h"
#include "ui/wx_text.h"

namespace wexmoor {

namespace {

constexpr int kTipMaxWidth = 150;
constexpr int kTipShownMs = 6000;
constexpr int kFolderImage = 0;
constexpr int kFileImage = 1;

// Breaks `text` into lines no wider than `maxWidth` pixels in `window`'s font;
// existing line feeds stay, a word wider than the limit gets a line alone.
wxString WrapToWidth(const wxWindow& window, const wxString& text, int maxWidth) {
  wxString out;
  wxString line;
  auto flushWord = [&](const wxString& word) {
    if (word.empty()) return;
    const wxString candidate = line.empty() ? word : line + " " + word;
    if (line.empty() || window.GetTextExtent(candidate).GetWidth() <= maxWidth) {
      line = candidate;
    } else {
      out += line + "\n";
      line = word;
    }
  };
  wxString word;
  for (wxUniChar c : text) {
    if (c == ' ' || c == '\n') {
      flushWord(word);
      word.clear();
      if (c == '\n') {
        out += line + "\n";
        line.clear();
      }
    } else {
      word += c;
    }
  }
  flushWord(word);
  return out + line;
}

// Check boxes and option buttons: the indicator and its margin.
constexpr int kIndicatorRoom = 20;
// Push buttons: padding and frame.
constexpr int kButtonRoom = 12;
// Text fields: padding and frame.
constexpr int kEntryRoom = 10;
// Drop-down lists: the arrow and the frame.
constexpr int kChoiceRoom = 30;

// Hands the listing thread's certificate reports to the dialog's thread.
class ForwardingTrustAsker : public CertificateTrustAsker, public HostKeyTrustAsker {
 public:
  explicit ForwardingTrustAsker(std::function<void(TrustRequest)> hand) : hand_(std::move(hand)) {}
  void AskTrust(const Text& serverName, const CertificateSummary& summary, bool changed) override {
    hand_(TrustRequest{serverName, summary, changed, {}});
  }
  void AskHostKeyTrust(const Text& serverName, const HostKeyQuestion& question) override {
    TrustRequest request{serverName, {}, false, question.keyType};
    request.summary.fingerprint = question.fingerprint;
    hand_(std::move(request));
  }

 private:
  std::function<void(TrustRequest)> hand_;
};

// The drop-down's entries, in the order of the protocol numbers.
constexpr const char16_t* kProtocolNames[] = {u"FTP (no encryption)", u"FTP, TLS if offered", u"FTP, TLS required",
                                              u"FTP over implicit TLS", u"SFTP"};

}  // namespace

int EditServer(ServerDialogContext& context, int slot) {
  ServerEditor editor(context.servers, slot);
  if (!editor.Ready()) {
    wxMessageBox(ToWx(context.translator.Translate(
                     u"The list is full: no more than 50 servers can be configured.")),
                 ToWx(context.translator.Translate(u"Server")), wxOK | wxICON_INFORMATION,
                 context.owner);
    return -1;
  }
  const bool passwordInClear = wxGetKeyState(WXK_CONTROL);
  {
    ServerDialog dialog(context, editor, passwordInClear);
    dialog.ShowModal();
  }
  if (context.owner) context.owner->SetFocus();
  return editor.Slot();
}

void OpenServerInBrowser(const ServerTable& servers, int slot) {
  const Text address = BuildBrowserAddress(servers.Get(slot));
  if (address.empty()) return;
  // Without a browser wx would pop up an error box of its own.
  wxLogNull quiet;
  wxLaunchDefaultBrowser(ToWx(address));
}

ServerDialog::ServerDialog(ServerDialogContext& context, ServerEditor& editor,
                           bool passwordInClear)
    : wxDialog(context.owner, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxCAPTION),
      context_(context),
      editor_(editor),
      pictures_(MakeFolderPictures()) {
  SetTitle(ToWx(Tr(u"Server")));
  CreateControls(passwordInClear);
  SetClientSize(486, 358);
  const wxRect screen = wxDisplay(0u).GetGeometry();
  Move((screen.GetWidth() - 200) / 2 + 20, (screen.GetHeight() - 180) / 2 + 20);
  ShowForm(editor_.Form());
  // Typing starts in the name field, not on a button that a space would press.
  name_->SetFocus();

  trustAsker_ = std::make_unique<ForwardingTrustAsker>(
      [this](TrustRequest request) { CallAfter([this, request] { OnCertificate(request); }); });
  auto* hostKeys = dynamic_cast<HostKeyTrustAsker*>(trustAsker_.get());
  RemoteBrowserContext browsing{context.flags,     context.history,   context.ports,
                                context.clock,     context.ipEchoUrl, trustAsker_.get(),
                                {context.sshFolder, context.sshAgentSocket, hostKeys}};
  browser_ = std::make_unique<RemoteBrowser>(
      browsing,
      [this](const Text& line) {
        CallAfter([this, line] { status_->ChangeValue(ToWx(line)); });
      },
      [this](const Text& result) { CallAfter([this, result] { ShowListing(result); }); });

  Bind(wxEVT_BUTTON, &ServerDialog::OnOk, this, kOkId);
  Bind(wxEVT_BUTTON, &ServerDialog::OnCancel, this, wxID_CANCEL);
  Bind(wxEVT_BUTTON, &ServerDialog::OnConnect, this, kConnectId);
  Bind(wxEVT_BUTTON, &ServerDialog::OnParentFolder, this, kParentId);
  Bind(wxEVT_BUTTON, &ServerDialog::OnBrowser, this, kBrowserId);
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Finish(wxID_CANCEL); });
  clone_->Bind(wxEVT_CHOICE, &ServerDialog::OnClone, this);
  protocol_->Bind(wxEVT_CHOICE, &ServerDialog::OnProtocol, this);
  content_->Bind(wxEVT_LIST_ITEM_SELECTED, &ServerDialog::OnRowSelected, this);
  active_->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { EnableFtpOptions(); });
  passive_->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { EnableFtpOptions(); });
  address_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { UpdateParentPicture(); });
  // The tip opens when the pointer really moves over the field (not when the
  // dialog appears under a resting pointer), once per visit.
  address_->Bind(wxEVT_MOTION, [this](wxMouseEvent& event) {
    event.Skip();
    if (tipShownThisVisit_) return;
    tipShownThisVisit_ = true;
    ShowAddressTip();
  });
  address_->Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent& event) {
    event.Skip();
    tipShownThisVisit_ = false;
  });
}

ServerDialog::~ServerDialog() {
  // The listing's thread hands texts to this window: it ends first.
  browser_.reset();
}

Text ServerDialog::Tr(const char16_t* english) const {
  return context_.translator.Translate(english);
}

void ServerDialog::CreateControls(bool passwordInClear) {
  auto* panel = new wxPanel(this, wxID_ANY, wxPoint(0, 0), wxSize(486, 358));
  auto label = [panel](const Text& text, int x, int y, int w, int h) {
    auto* made = new wxStaticText(panel, wxID_ANY, wxControl::EscapeMnemonics(ToWx(text)),
                                  wxPoint(x, y), wxSize(w, h), wxST_NO_AUTORESIZE);
    FitTextFont(made, ToWx(text), 0);
    return made;
  };
  auto button = [panel](int id, const Text& text, int x, int y, int w, int h) {
    auto* made = new wxButton(panel, id, wxControl::EscapeMnemonics(ToWx(text)), wxPoint(x, y),
                              wxSize(w, h));
    FitTextFont(made, ToWx(text), kButtonRoom);
    return made;
  };
  auto checkBox = [panel](const Text& text, int x, int y, int w, int h) {
    auto* made = new wxCheckBox(panel, wxID_ANY, wxControl::EscapeMnemonics(ToWx(text)),
                                wxPoint(x, y), wxSize(w, h));
    FitTextFont(made, ToWx(text), kIndicatorRoom);
    return made;
  };
  auto option = [panel](const Text& text, int x, int y, int w, int h, long style) {
    auto* made = new wxRadioButton(panel, wxID_ANY, wxControl::EscapeMnemonics(ToWx(text)),
                                   wxPoint(x, y), wxSize(w, h), style);
    FitTextFont(made, ToWx(text), kIndicatorRoom);
    return made;
  };
  auto field = [panel](int x, int y, int w, int h, long style = 0) {
    return new wxTextCtrl(panel, wxID_ANY, wxString(), wxPoint(x, y), wxSize(w, h), style);
  };

  label(Tr(u"Server name:"), 32, 10, 190, 17);
  name_ = field(32, 25, 190, 20);
  label(Tr(u"Server adress & repertory:"), 32, 50, 190, 17);
  scheme_ = label(u"ftp://", 1, 68, 30, 17);
  address_ = field(32, 65, 190, 20);
  label(Tr(u"Login:"), 32, 90, 190, 17);
  login_ = field(32, 105, 190, 20);
  label(Tr(u"Password:"), 32, 130, 190, 17);
  password_ = field(32, 145, 190, 20, passwordInClear ? 0 : wxTE_PASSWORD);
  label(Tr(u"Port:"), 32, 170, 190, 17);
  // Five digits must show whole: as wide as the room before "Active" allows,
  // and a smaller font if that is not enough.
  port_ = field(32, 185, 42, 20);
  FitTextFont(port_, "65535", kEntryRoom);
  active_ = option(Tr(u"Active"), 77, 185, 60, 20, wxRB_GROUP);
  passive_ = option(Tr(u"Passive"), 157, 185, 60, 20, 0);
  // The two options of one group share the smaller of their fitted fonts.
  if (passive_->GetFont().GetFractionalPointSize() < active_->GetFont().GetFractionalPointSize())
    active_->SetFont(passive_->GetFont());
  else
    passive_->SetFont(active_->GetFont());
  router_ = checkBox(Tr(u"Use the router IP"), 77, 205, 145, 20);
  label(Tr(u"Connection TimeOut:"), 32, 228, 128, 35);
  timeOut_ = field(164, 225, 30, 20);
  label(Tr(u"sec."), 199, 228, 28, 18);
  utf8_ = checkBox(Tr(u"Encode file names using UTF8"), 32, 250, 198, 20);
  utf8Opt_ = checkBox(Tr(u"Send ''opts utf8 on'' to the server"), 32, 270, 190, 20);

  button(kConnectId, Tr(u"Connect"), 232, 4, 65, 18);
  button(kBrowserId, Tr(u"Open with your browser"), 304, 4, 145, 18);
  parent_ = new wxBitmapButton(panel, kParentId, pictures_.parentFolderGreyed, wxPoint(454, 2),
                               wxSize(24, 24));
  parent_->SetToolTip(ToWx(Tr(u"Parent folder")));

  label(Tr(u"Protocol:"), 232, 29, 64, 17);
  protocol_ = new wxChoice(panel, wxID_ANY, wxPoint(298, 25), wxSize(178, 22));
  for (const char16_t* name : kProtocolNames) protocol_->Append(ToWx(Tr(name)));
  protocol_->Append("WebDAV (HTTPS)");  // kProtocolWebDavHttps
  protocol_->Append(ToWx(WebDavPlainProtocolName(Tr(u"FTP (no encryption)"))));
  // The font fits the widest entry of the language.
  wxString widest;
  for (const unsigned entry : {static_cast<unsigned>(kProtocolImplicitTls), static_cast<unsigned>(kProtocolWebDavHttp)}) {
    const wxString text = protocol_->GetString(entry);
    if (widest.empty() || protocol_->GetTextExtent(text).GetWidth() > protocol_->GetTextExtent(widest).GetWidth()) {
      widest = text;
    }
  }
  FitTextFont(protocol_, widest, kChoiceRoom);

  content_ = new wxListCtrl(panel, wxID_ANY, wxPoint(232, 50), wxSize(244, 190),
                            wxLC_REPORT | wxLC_SINGLE_SEL);
  auto* images = new wxImageList(16, 16, true, 2);
  images->Add(pictures_.folder);  // kFolderImage
  images->Add(pictures_.file);    // kFileImage
  content_->AssignImageList(images, wxIMAGE_LIST_SMALL);
  content_->InsertColumn(0, ToWx(Tr(u"Content")), wxLIST_FORMAT_LEFT, 223);

  label(Tr(u"Web address:"), 232, 248, 80, 17);
  webAddress_ = field(316, 245, 160, 20);
  label(Tr(u"Connections:"), 232, 273, 110, 17);
  connections_ = field(346, 270, 30, 20);

  label(Tr(u"Status:"), 32, 303, 55, 17);
  status_ = field(97, 300, 379, 20, wxTE_READONLY);
  label(Tr(u"Clone the values of:"), 32, 332, 110, 17);
  clone_ = new wxChoice(panel, wxID_ANY, wxPoint(142, 328), wxSize(170, 22));
  for (const Text& name : editor_.CloneNames()) clone_->Append(ToWx(name));
  if (clone_->GetCount() > 0) clone_->SetSelection(0);
  button(wxID_CANCEL, Tr(u"Cancel"), 366, 330, 51, 20);
  button(kOkId, Tr(u"OK"), 425, 330, 51, 20);
}

void ServerDialog::ShowForm(const ServerForm& form) {
  name_->ChangeValue(ToWx(form.name));
  address_->ChangeValue(ToWx(form.address));
  login_->ChangeValue(ToWx(form.login));
  password_->ChangeValue(ToWx(form.password));
  port_->ChangeValue(ToWx(form.port));
  timeOut_->ChangeValue(ToWx(form.timeOut));
  connections_->ChangeValue(ToWx(form.connections));
  webAddress_->ChangeValue(ToWx(form.webAddress));
  (form.active ? active_ : passive_)->SetValue(true);
  router_->SetValue(form.ipRouter);
  utf8_->SetValue(form.useUtf8);
  utf8Opt_->SetValue(form.useUtf8Opt);
  protocol_->SetSelection(std::clamp(form.protocol, 0, static_cast<int>(protocol_->GetCount()) - 1));
  ShowScheme();
  EnableFtpOptions();
  UpdateParentPicture();
}

void ServerDialog::ShowScheme() {
  const int chosen = protocol_->GetSelection();
  const wxString scheme = chosen == kProtocolSftp          ? "sftp://"
                          : chosen == kProtocolWebDavHttps ? "https://"
                          : chosen == kProtocolWebDavHttp  ? "http://"
                                                           : "ftp://";
  if (scheme_->GetLabel() == scheme) return;
  scheme_->SetLabel(scheme);
  FitTextFont(scheme_, scheme, 0);
}

void ServerDialog::EnableFtpOptions() {
  const bool ftp = UsesFtpConnectionOptions(protocol_->GetSelection());
  for (wxWindow* option : {static_cast<wxWindow*>(active_), static_cast<wxWindow*>(passive_),
                           static_cast<wxWindow*>(utf8_), static_cast<wxWindow*>(utf8Opt_)})
    option->Enable(ftp);
  router_->Enable(ftp && active_->GetValue());
}

void ServerDialog::ReadControls() {
  ServerForm& form = editor_.Form();
  form.name = FromWx(name_->GetValue());
  form.address = FromWx(address_->GetValue());
  form.login = FromWx(login_->GetValue());
  form.password = FromWx(password_->GetValue());
  form.port = FromWx(port_->GetValue());
  form.active = active_->GetValue();
  form.ipRouter = router_->GetValue();
  form.timeOut = FromWx(timeOut_->GetValue());
  form.connections = FromWx(connections_->GetValue());
  form.webAddress = FromWx(webAddress_->GetValue());
  form.useUtf8 = utf8_->GetValue();
  form.useUtf8Opt = utf8Opt_->GetValue();
  if (protocol_->GetSelection() != wxNOT_FOUND) form.protocol = protocol_->GetSelection();
}

void ServerDialog::OnProtocol(wxCommandEvent&) {
  // Implicit TLS, SFTP and WebDAV have their own ports: follow the choice while the
  // port is a default.
  const int chosen = protocol_->GetSelection();
  ShowScheme();
  EnableFtpOptions();
  const wxString port = port_->GetValue();
  const bool defaultPort =
      port.empty() || port == "21" || port == "990" || port == "22" || port == "443" || port == "80";
  if (!defaultPort) return;
  if (chosen == kProtocolImplicitTls) {
    port_->ChangeValue("990");
  } else if (chosen == kProtocolSftp) {
    port_->ChangeValue("22");
  } else if (chosen == kProtocolWebDavHttps) {
    port_->ChangeValue("443");
  } else if (chosen == kProtocolWebDavHttp) {
    port_->ChangeValue("80");
  } else if (port != "21") {
    port_->ChangeValue("21");
  }
}

void ServerDialog::OnCertificate(const TrustRequest& request) {
  if (!AskCertificateTrust(this, context_.translator, request, nullptr)) return;
  editor_.Form().fingerprint = request.summary.fingerprint;
  status_->ChangeValue(ToWx(Tr(u"Trust")) + ": " + ToWx(request.summary.fingerprint));
}

void ServerDialog::UpdateParentPicture() {
  const bool greyed = !HasParentFolder(FromWx(address_->GetValue()));
  if (greyed == parentGreyed_) return;
  parentGreyed_ = greyed;
  parent_->SetBitmapLabel(greyed ? pictures_.parentFolderGreyed : pictures_.parentFolder);
}

void ServerDialog::ShowAddressTip() {
  const std::int64_t now = context_.clock.MonotonicMs();
  if (now - lastTipMs_ < kTipShownMs) return;  // the last one is still up
  lastTipMs_ = now;
  const wxString text =
      ToWx(Tr(u"Add the repertory or repertories name(s) after the adress as:")) +
      "\nmyserver.com/www/images/";
  if (!tip_) tip_ = new BalloonTip(this);
  tip_->ShowFor(address_, WrapToWidth(*address_, text, kTipMaxWidth), kTipShownMs);
}

void ServerDialog::StartListing() {
  if (listing_ || browser_->Running()) return;  // one listing at a time
  ReadControls();
  const ServerRecord record = editor_.BrowseRecord();
  address_->ChangeValue(ToWx(editor_.Form().address));
  UpdateParentPicture();
  content_->DeleteAllItems();
  content_->InsertItem(0, ToWx(Tr(u"Wait...")), -1);
  listing_ = browser_->Start(record);
}

void ServerDialog::ShowListing(const Text& result) {
  content_->Freeze();
  content_->DeleteAllItems();
  long index = 0;
  for (const ListingRow& row : ListingRows(result)) {
    const int image = row.picture == RowPicture::kFolder ? kFolderImage
                      : row.picture == RowPicture::kFile ? kFileImage
                                                         : -1;
    content_->InsertItem(index++, ToWx(row.text), image);
  }
  content_->Thaw();
  listing_ = false;
}

void ServerDialog::Finish(int code) {
  if (tip_) tip_->Dismiss();
  browser_->Stop();
  listing_ = false;
  if (IsModal())
    EndModal(code);
  else
    Hide();
}

void ServerDialog::OnOk(wxCommandEvent&) {
  ReadControls();
  if (!editor_.Accept()) {
    refusal_ = editor_.LastRefusal() == ServerEditor::Refusal::kNameTaken
                   ? Tr(u"Another server already has this name. Please choose another one.")
                   : Tr(u"Please give the server a name.");
    wxMessageBox(ToWx(refusal_), ToWx(Tr(u"Server")), wxOK | wxICON_INFORMATION, this);
    name_->SetFocus();
    name_->SelectAll();
    return;
  }
  address_->ChangeValue(ToWx(editor_.Form().address));
  Finish(wxID_OK);
}

void ServerDialog::OnCancel(wxCommandEvent&) { Finish(wxID_CANCEL); }

void ServerDialog::OnConnect(wxCommandEvent&) { StartListing(); }

void ServerDialog::OnParentFolder(wxCommandEvent&) {
  if (listing_) return;
  const std::optional<Text> up = ParentFolderAddress(FromWx(address_->GetValue()));
  if (!up) return;
  address_->ChangeValue(ToWx(*up));
  StartListing();
}

void ServerDialog::OnBrowser(wxCommandEvent&) {
  // The stored slot, not the form.
  OpenServerInBrowser(context_.servers, editor_.Slot());
}

void ServerDialog::OnClone(wxCommandEvent&) {
  const int position = clone_->GetSelection();
  if (position == wxNOT_FOUND) return;
  editor_.CloneFrom(position);
  ShowForm(editor_.Form());
}

void ServerDialog::OnRowSelected(wxListEvent& event) {
  const long index = event.GetIndex();
  const Text row = FromWx(content_->GetItemText(index));
  std::optional<Text> next;
  if (!listing_) next = FolderRowAddress(FromWx(address_->GetValue()), row, Tr(u"Error"));
  if (next) {
    address_->ChangeValue(ToWx(*next));
    StartListing();
    return;
  }
  // Clearing the selection inside its own notification confuses GTK.
  CallAfter([this, index] {
    if (index < content_->GetItemCount()) content_->SetItemState(index, 0, wxLIST_STATE_SELECTED);
  });
}

}  // namespace wexmoor
