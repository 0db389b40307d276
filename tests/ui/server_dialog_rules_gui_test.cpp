// The server dialog's rules a user meets first: a name another server has is
// refused (in the user's language) and an empty remote folder lists as an
// empty folder, against real servers, plain and with TLS.
#include "ui/server_dialog.h"

#include <gtest/gtest.h>
#include <wx/listctrl.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <filesystem>
#include <utility>
#include <string>

#include "i18n/language_table.h"
#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"
#include "peers/tls_ftp_fixture.h"
#include "peers/vsftpd_fixture.h"
#include "platform/code_page.h"
#include "support/wx_pump.h"
#include "ui/modal_closer.h"

namespace wexmoor {
namespace {

namespace fs = std::filesystem;

using testing::EnsureWxStarted;
using testing::PumpUntil;

void Press(ServerDialog& dialog, int id) {
  wxCommandEvent click(wxEVT_BUTTON, id);
  click.SetEventObject(&dialog);
  dialog.GetEventHandler()->ProcessEvent(click);
}

// Closes the message box the next press opens, from inside its own loop.
class BoxCloser : public wxTimer {
 public:
  BoxCloser() { Start(50); }
  void Notify() override {
    if (ModalCloser::EndInnermostModal()) ++closed;
  }
  int closed = 0;
};

struct DialogRig {
  ServerTable servers;
  Translator translator{u"English"};
  SharedFlags flags;
  SessionHistory history;
  ListenerPortSequence ports;
  SystemClock clock;
  ServerDialogContext context{servers, translator, flags, history, ports, clock, nullptr};
};

ServerRecord Named(const char16_t* name) {
  ServerRecord record;
  record.name = name;
  record.address = u"host";
  return record;
}

TEST(ServerDialogRules, ANameAnotherServerHasIsRefusedInTheUsersLanguage) {
  EnsureWxStarted();
  DialogRig rig;
  rig.servers.Set(1, Named(u"office"));
  rig.servers.Set(2, Named(u"home"));
  for (const TextView language : kLanguageNames) {
    rig.translator.SetLanguage(language);
    ServerEditor editor(rig.servers, 2);
    ServerDialog dialog(rig.context, editor, false);
    dialog.Show();
    dialog.NameField()->ChangeValue("office");
    BoxCloser closer;
    Press(dialog, dialog.OkId());
    EXPECT_EQ(closer.closed, 1) << "one message box";
    const Text wanted = u"Another server already has this name. Please choose another one.";
    EXPECT_EQ(dialog.LastRefusal(), rig.translator.Translate(wanted));
    EXPECT_EQ(dialog.LastRefusal() == wanted, language == u"English") << Utf16ToUtf8(language);
    EXPECT_TRUE(dialog.IsShown()) << "the dialog stays for another name";
    EXPECT_EQ(rig.servers.Get(2).name, u"home");
  }
}

ServerRecord PeerRecord(int port, const std::string& user, const std::string& password) {
  ServerRecord r;
  r.name = u"peer";
  r.address = u"127.0.0.1/www/empty";
  r.port = port;
  r.login = Utf8ToUtf16(user);
  r.password = Utf8ToUtf16(password);
  r.timeOut = 20000;
  return r;
}

// LIST in an empty folder: 150, a data connection that closes without a
// byte, 226. The browser shows no row, no error, and can list again.
TEST(ServerDialogRules, AnEmptyFolderListsAsEmptyOnEveryServerKind) {
  EnsureWxStarted();
  testing::TempFolder pyRoot, vsRoot;
  fs::create_directories(pyRoot.path() + "/www/empty");
  fs::create_directories(vsRoot.path() + "/www/empty");
  testing::PyFtpdServer py(pyRoot.path());
  testing::VsftpdServer vs(vsRoot.path());
  testing::TlsFtpPeer tls(testing::TlsPeerOptions{});  // vsftpd, TLS for login and data
  ASSERT_TRUE(py.ok() && vs.ok() && tls.ok()) << py.error() << vs.error() << tls.error();
  fs::create_directories(tls.root() + "/www/empty");
  ServerRecord overTls = PeerRecord(tls.port(), tls.user(), tls.password());
  overTls.protocol = kProtocolTlsRequired;
  overTls.fingerprint = Utf8ToUtf16(tls.fingerprint());
  const std::pair<const char*, ServerRecord> peers[] = {
      {"pyftpdlib", PeerRecord(py.port(), py.user(), py.password())},
      {"vsftpd", PeerRecord(vs.port(), vs.user(), vs.password())},
      {"vsftpd with TLS", overTls}};
  for (const auto& [kind, server] : peers) {
    DialogRig rig;
    rig.servers.Set(1, server);
    ServerEditor editor(rig.servers, 1);
    ServerDialog dialog(rig.context, editor, false);
    dialog.Show();
    for (int round = 0; round < 2; ++round) {
      Press(dialog, dialog.ConnectId());
      ASSERT_TRUE(PumpUntil([&] { return !dialog.Listing(); }, 60)) << kind;
      EXPECT_EQ(dialog.ContentList()->GetItemCount(), 0)
          << kind << ": " << dialog.ContentList()->GetItemText(0).utf8_string();
    }
    EXPECT_EQ(rig.history.Get().find(u"!!Error"), Text::npos) << kind << "\n" << Utf16ToUtf8(rig.history.Get());
  }
}

}  // namespace
}  // namespace wexmoor
