// The server settings dialog: every field of one server slot, a clone list,
// and a small remote browser that lists the server's folders so the user can
// pick the upload folder by navigating to it.
#pragma once

#include <memory>

#include <wx/dialog.h>

#include "ftp/listener_ports.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "model/server_table.h"
#include "model/shared_state.h"
#include "ui/folder_pictures.h"
#include "i18n/language_translator.h"
#include "program/certificate_trust.h"
#include "program/remote_browser.h"
#include "program/server_form.h"

class wxBitmapButton;
class wxCheckBox;
class wxChoice;
class wxCommandEvent;
class wxListCtrl;
class wxListEvent;
class wxRadioButton;
class wxStaticText;
class wxTextCtrl;

namespace wexmoor {

class BalloonTip;

// What the dialog needs of the program's state.
struct ServerDialogContext {
  ServerTable& servers;
  const Translator& translator;
  SharedFlags& flags;
  SessionHistory& history;
  ListenerPortSequence& ports;
  const Clock& clock;
  wxWindow* owner = nullptr;  // disabled while the dialog is open
  Text ipEchoUrl = {};        // for active mode behind a router
  // The user's ~/.ssh and agent, for listing SFTP servers.
  std::string sshFolder = {};
  std::string sshAgentSocket = {};
};

// Opens the dialog for slot `slot` (-1: a new server in the first free slot)
// and runs it modally; only "OK" changes the slot. Returns the slot it worked
// on, or -1 when a new server was refused because 50 are configured (the user
// is told so and no dialog opens).
int EditServer(ServerDialogContext& context, int slot);

// Opens the stored server of slot `slot` in the default web browser as an
// "ftp://" address; nothing when the slot has no address. Never waits long.
void OpenServerInBrowser(const ServerTable& servers, int slot);

class ServerDialog final : public wxDialog {
 public:
  // `passwordInClear`: show the password unmasked (Ctrl held at opening).
  ServerDialog(ServerDialogContext& context, ServerEditor& editor, bool passwordInClear);
  ~ServerDialog() override;

  // The balloon tip of the address field.
  void ShowAddressTip();
  // The tip, once shown (for the program's own tests).
  BalloonTip* AddressTip() const { return tip_; }
  // True from a listing's start until its rows are shown.
  bool Listing() const { return listing_; }
  // The text of the last refusal of "OK" (empty name, name taken), or "".
  const Text& LastRefusal() const { return refusal_; }

  // The controls, for the program's own tests.
  wxTextCtrl* NameField() const { return name_; }
  wxTextCtrl* AddressField() const { return address_; }
  wxTextCtrl* LoginField() const { return login_; }
  wxTextCtrl* PasswordField() const { return password_; }
  wxTextCtrl* PortField() const { return port_; }
  wxTextCtrl* TimeOutField() const { return timeOut_; }
  wxTextCtrl* ConnectionsField() const { return connections_; }
  wxTextCtrl* WebAddressField() const { return webAddress_; }
  wxTextCtrl* StatusField() const { return status_; }
  wxRadioButton* ActiveOption() const { return active_; }
  wxRadioButton* PassiveOption() const { return passive_; }
  wxCheckBox* Utf8Box() const { return utf8_; }
  wxCheckBox* RouterBox() const { return router_; }
  wxListCtrl* ContentList() const { return content_; }
  wxChoice* CloneList() const { return clone_; }
  wxChoice* ProtocolList() const { return protocol_; }
  wxBitmapButton* ParentButton() const { return parent_; }
  bool ParentButtonShowsGreyed() const { return parentGreyed_; }
  int ConnectId() const { return kConnectId; }
  int OkId() const { return kOkId; }
  int BrowserId() const { return kBrowserId; }

 private:
  enum { kConnectId = 7001, kBrowserId, kParentId, kOkId };

  Text Tr(const char16_t* english) const;
  void CreateControls(bool passwordInClear);
  void ShowForm(const ServerForm& form);
  void ReadControls();
  void UpdateParentPicture();
  // The address field's scheme for the chosen protocol.
  void ShowScheme();
  // Greys out the FTP-only options where the chosen protocol has no use for them.
  void EnableFtpOptions();
  void StartListing();
  void ShowListing(const Text& result);
  void Finish(int code);

  void OnOk(wxCommandEvent& event);
  void OnCancel(wxCommandEvent& event);
  void OnConnect(wxCommandEvent& event);
  void OnParentFolder(wxCommandEvent& event);
  void OnBrowser(wxCommandEvent& event);
  void OnClone(wxCommandEvent& event);
  void OnRowSelected(wxListEvent& event);
  void OnProtocol(wxCommandEvent& event);
  // A certificate the listing met: ask, and keep a trusted fingerprint in the form.
  void OnCertificate(const TrustRequest& request);

  ServerDialogContext& context_;
  ServerEditor& editor_;
  FolderPictures pictures_;
  std::unique_ptr<CertificateTrustAsker> trustAsker_;
  std::unique_ptr<RemoteBrowser> browser_;
  bool listing_ = false;
  bool parentGreyed_ = true;
  std::int64_t lastTipMs_ = -1'000'000;
  bool tipShownThisVisit_ = false;
  Text refusal_;

  wxTextCtrl* name_ = nullptr;
  wxTextCtrl* address_ = nullptr;
  wxStaticText* scheme_ = nullptr;  // "ftp://" or "sftp://" before the address
  wxTextCtrl* login_ = nullptr;
  wxTextCtrl* password_ = nullptr;
  wxTextCtrl* port_ = nullptr;
  wxTextCtrl* timeOut_ = nullptr;
  wxTextCtrl* connections_ = nullptr;
  wxTextCtrl* webAddress_ = nullptr;
  wxTextCtrl* status_ = nullptr;
  wxRadioButton* active_ = nullptr;
  wxRadioButton* passive_ = nullptr;
  wxCheckBox* router_ = nullptr;
  wxCheckBox* utf8_ = nullptr;
  wxCheckBox* utf8Opt_ = nullptr;
  wxListCtrl* content_ = nullptr;
  wxChoice* clone_ = nullptr;
  wxChoice* protocol_ = nullptr;
  wxBitmapButton* parent_ = nullptr;
  BalloonTip* tip_ = nullptr;  // made at its first showing; a child of the dialog
};

}  // namespace wexmoor
