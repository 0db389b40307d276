#include "ui/server_dialog.h"

#include "i18n/language_table.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/arrstr.h>
#include <wx/bmpbuttn.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/image.h>
#include <wx/listctrl.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "ftp/control_connection.h"
#include "ftp/file_upload.h"
#include "ftp/remote_session.h"
#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"
#include "support/wx_pump.h"
#include "platform/code_page.h"
#include "ui/balloon_tip.h"
#include "ui/compact_style.h"
#include "ui/trust_window.h"
#include "i18n/language_table.h"

namespace wexmoor {
namespace {

namespace fs = std::filesystem;

using testing::EnsureWxStarted;
using testing::Pump;
using testing::PumpUntil;

wxString W(const char* utf8) { return wxString::FromUTF8(utf8); }

std::string Utf8(const wxString& text) { return text.utf8_string(); }

struct Row {
  std::string text;
  int image;
};

std::vector<Row> Rows(wxListCtrl* list) {
  std::vector<Row> rows;
  for (long i = 0; i < list->GetItemCount(); ++i) {
    wxListItem item;
    item.SetId(i);
    item.SetMask(wxLIST_MASK_TEXT | wxLIST_MASK_IMAGE);
    list->GetItem(item);
    rows.push_back({Utf8(item.GetText()), item.GetImage()});
  }
  return rows;
}

int ImageOf(const std::vector<Row>& rows, const std::string& text) {
  for (const Row& row : rows)
    if (row.text == text) return row.image;
  return -99;  // not listed
}

long IndexOf(wxListCtrl* list, const std::string& text) {
  for (long i = 0; i < list->GetItemCount(); ++i)
    if (Utf8(list->GetItemText(i)) == text) return i;
  return -1;
}

void Press(ServerDialog& dialog, int id) {
  wxCommandEvent click(wxEVT_BUTTON, id);
  click.SetEventObject(&dialog);
  dialog.GetEventHandler()->ProcessEvent(click);
}

void SelectRow(wxListCtrl* list, long index) {
  wxListEvent selected(wxEVT_LIST_ITEM_SELECTED, list->GetId());
  selected.SetEventObject(list);
  selected.m_itemIndex = index;
  list->GetEventHandler()->ProcessEvent(selected);
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ServerDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureWxStarted();
    WriteFile(fs::path(root_.path()) / "www" / "index.html", "<html></html>");
    WriteFile(fs::path(root_.path()) / "www" / "photos" / "sunset.jpg", "jpeg");
    fs::create_directories(fs::path(root_.path()) / "www" / "docs");
    ServerRecord existing;
    existing.name = u"existing";
    existing.address = u"elsewhere";
    servers_.Set(1, existing);
  }

  void TypeServer(ServerDialog& dialog) {
    dialog.NameField()->SetValue(W("local"));
    dialog.AddressField()->SetValue(W("ftp://127.0.0.1/www"));
    dialog.LoginField()->SetValue(W(server_.user().c_str()));
    dialog.PasswordField()->SetValue(W(server_.password().c_str()));
    dialog.PortField()->SetValue(wxString::Format("%d", server_.port()));
    dialog.PassiveOption()->SetValue(true);
  }

  testing::TempFolder root_;
  testing::PyFtpdServer server_{root_.path()};
  ServerTable servers_;
  Translator translator_{u"English"};
  SharedFlags flags_;
  SessionHistory history_;
  ListenerPortSequence ports_;
  SystemClock clock_;
  ServerDialogContext context_{servers_, translator_, flags_, history_, ports_, clock_, nullptr};
};

TEST_F(ServerDialogTest, BrowsesDownAndUpAndStoresTheTypedServer) {
  ASSERT_TRUE(server_.ok()) << server_.error();
  ServerEditor editor(servers_, -1);
  ASSERT_EQ(editor.Slot(), 2);
  ServerDialog dialog(context_, editor, false);
  dialog.Show();
  TypeServer(dialog);
  EXPECT_FALSE(dialog.ParentButtonShowsGreyed());
  EXPECT_TRUE(dialog.PasswordField()->HasFlag(wxTE_PASSWORD));

  Press(dialog, dialog.ConnectId());
  EXPECT_TRUE(dialog.Listing());
  EXPECT_EQ(Utf8(dialog.AddressField()->GetValue()), "127.0.0.1/www") << "prefix cleaned away";
  Press(dialog, dialog.ConnectId());  // ignored while the first one runs
  ASSERT_TRUE(PumpUntil([&] { return !dialog.Listing(); }));
  std::vector<Row> rows = Rows(dialog.ContentList());
  ASSERT_EQ(rows.size(), 3u) << Utf8(dialog.StatusField()->GetValue());
  EXPECT_EQ(ImageOf(rows, "photos"), 0) << "folder picture";
  EXPECT_EQ(ImageOf(rows, "docs"), 0);
  EXPECT_EQ(ImageOf(rows, "index.html"), 1) << "file picture";
  EXPECT_FALSE(dialog.StatusField()->GetValue().empty()) << "the engine's status lines arrive";
  EXPECT_NE(history_.Get().find(u"LIST"), Text::npos) << "the listing's log joins the history";
  EXPECT_EQ(flags_.ftpBusy.load(), 0);

  // A file row only clears the selection.
  SelectRow(dialog.ContentList(), IndexOf(dialog.ContentList(), "index.html"));
  EXPECT_FALSE(dialog.Listing());
  EXPECT_EQ(Utf8(dialog.AddressField()->GetValue()), "127.0.0.1/www");

  SelectRow(dialog.ContentList(), IndexOf(dialog.ContentList(), "photos"));
  EXPECT_EQ(Utf8(dialog.AddressField()->GetValue()), "127.0.0.1/www/photos");
  ASSERT_TRUE(PumpUntil([&] { return !dialog.Listing(); }));
  rows = Rows(dialog.ContentList());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].text, "sunset.jpg");
  EXPECT_EQ(rows[0].image, 1);

  Press(dialog, wxID_HIGHEST + 1);  // an unrelated id does nothing
  wxCommandEvent up(wxEVT_BUTTON, dialog.ParentButton()->GetId());
  dialog.ParentButton()->GetEventHandler()->ProcessEvent(up);
  EXPECT_EQ(Utf8(dialog.AddressField()->GetValue()), "127.0.0.1/www");
  ASSERT_TRUE(PumpUntil([&] { return !dialog.Listing(); }));
  EXPECT_EQ(ImageOf(Rows(dialog.ContentList()), "photos"), 0);

  Press(dialog, dialog.OkId());
  const ServerRecord stored = servers_.Get(2);
  EXPECT_EQ(stored.name, u"local");
  EXPECT_EQ(stored.address, u"127.0.0.1/www");
  EXPECT_EQ(stored.port, server_.port());
  EXPECT_EQ(stored.timeOut, 10000);
  EXPECT_EQ(servers_.Count(), 2);
}

TEST_F(ServerDialogTest, CloneAndOptionsFollowTheChosenServer) {
  ServerRecord active;
  active.name = u"act";
  active.address = u"host/x";
  active.active = 1;
  active.ipRouter = 1;
  active.timeOut = 30000;
  servers_.Set(2, active);
  ServerEditor editor(servers_, -1);
  ServerDialog dialog(context_, editor, false);
  dialog.Show();
  EXPECT_TRUE(dialog.PassiveOption()->GetValue());
  EXPECT_FALSE(dialog.RouterBox()->IsEnabled());
  EXPECT_TRUE(dialog.ParentButtonShowsGreyed());
  EXPECT_EQ(Utf8(dialog.TimeOutField()->GetValue()), "10");

  dialog.CloneList()->SetSelection(1);
  wxCommandEvent chosen(wxEVT_CHOICE, dialog.CloneList()->GetId());
  chosen.SetInt(1);
  chosen.SetEventObject(dialog.CloneList());
  dialog.CloneList()->GetEventHandler()->ProcessEvent(chosen);
  EXPECT_EQ(Utf8(dialog.NameField()->GetValue()), "act2");
  EXPECT_TRUE(dialog.ActiveOption()->GetValue());
  EXPECT_TRUE(dialog.RouterBox()->IsEnabled());
  EXPECT_TRUE(dialog.RouterBox()->GetValue());
  EXPECT_EQ(Utf8(dialog.TimeOutField()->GetValue()), "30");
  EXPECT_FALSE(dialog.ParentButtonShowsGreyed());
  EXPECT_TRUE(servers_.Get(3).name.empty()) << "nothing stored before OK";
}

TEST_F(ServerDialogTest, ConnectDuringAnUploadLeavesBothCorrect) {
  ASSERT_TRUE(server_.ok()) << server_.error();
  testing::TempFolder local;
  std::string payload(12 * 1024 * 1024, '\0');
  std::mt19937 random(7);
  for (char& c : payload) c = static_cast<char>(random());
  const std::string localFile = local.File("big.bin");
  WriteFile(localFile, payload);

  // The upload runs on a session of its own, as the upload worker's does.
  std::atomic<std::int64_t> progress{0};
  FtpSession uploadSession(clock_, ports_, progress);
  std::atomic<int> uploaded{-5};
  std::jthread upload([&](std::stop_token stop) {
    uploadSession.SetStopToken(stop);
    ServerRecord record;
    record.address = u"127.0.0.1/www/incoming";
    record.login = AsciiToText(server_.user());
    record.password = AsciiToText(server_.password());
    record.port = server_.port();
    int result = PrepareUploadSession(uploadSession, record, 0, nullptr);
    if (result == 1)
      result = UploadFile(uploadSession, uploadSession.controlConnection(), record,
                          Utf8ToUtf16(localFile), nullptr, nullptr);
    Disconnect(uploadSession, nullptr);
    uploaded = result;
  });
  const fs::path remote = fs::path(root_.path()) / "www" / "incoming" / "big.bin";
  PumpUntil([&] { return fs::exists(remote) || uploaded != -5; });

  ServerEditor editor(servers_, -1);
  ServerDialog dialog(context_, editor, false);
  dialog.Show();
  TypeServer(dialog);
  // The browser's listener takes its port from the sequence the upload shares.
  dialog.ActiveOption()->SetValue(true);
  Press(dialog, dialog.ConnectId());
  ASSERT_TRUE(PumpUntil([&] { return !dialog.Listing(); }));
  const std::vector<Row> rows = Rows(dialog.ContentList());
  EXPECT_EQ(rows.size(), 4u) << Utf8(dialog.StatusField()->GetValue());
  EXPECT_EQ(ImageOf(rows, "incoming"), 0);
  EXPECT_NE(ports_.Current(), ListenerPortSequence::kBasePort) << "an active listing used the sequence";
  EXPECT_EQ(ImageOf(rows, "photos"), 0);

  ASSERT_TRUE(PumpUntil([&] { return uploaded != -5; }, 120));
  upload.join();
  EXPECT_EQ(uploaded.load(), 1);
  EXPECT_TRUE(ReadFile(remote) == payload) << "the uploaded file is byte-identical";
}

TEST_F(ServerDialogTest, ClosingDuringAListingEndsItPromptly) {
  // The server answers a wrong password only after a pause of its own.
  ASSERT_TRUE(server_.ok()) << server_.error();
  ServerEditor editor(servers_, -1);
  auto dialog = std::make_unique<ServerDialog>(context_, editor, false);
  dialog->Show();
  dialog->NameField()->SetValue(W("silent"));
  dialog->AddressField()->SetValue(W("127.0.0.1"));
  dialog->PortField()->SetValue(wxString::Format("%d", server_.port()));
  dialog->LoginField()->SetValue(W("user"));
  dialog->PasswordField()->SetValue(W("wrong password"));
  dialog->TimeOutField()->SetValue(W("60"));
  Press(*dialog, dialog->ConnectId());
  ASSERT_TRUE(dialog->Listing());
  Pump(100);
  const auto started = std::chrono::steady_clock::now();
  Press(*dialog, wxID_CANCEL);
  dialog.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2))
      << "the server holds its answer for three seconds; the stop must not wait for it";
  EXPECT_TRUE(servers_.Get(2).name.empty());
}

TEST_F(ServerDialogTest, CtrlHeldAtOpeningShowsThePasswordInClear) {
  ServerRecord withPassword;
  withPassword.name = u"p";
  withPassword.password = u"visible";
  servers_.Set(2, withPassword);
  bool masked = true;
  bool seen = false;
  wxUIActionSimulator keys;
  keys.KeyDown(WXK_CONTROL);
  Pump(100);
  wxTheApp->CallAfter([&] {
    for (wxWindow* window : wxTopLevelWindows)
      if (auto* dialog = dynamic_cast<ServerDialog*>(window)) {
        seen = true;
        masked = dialog->PasswordField()->HasFlag(wxTE_PASSWORD);
        Press(*dialog, wxID_CANCEL);
      }
  });
  EXPECT_EQ(EditServer(context_, 2), 2);
  keys.KeyUp(WXK_CONTROL);
  Pump(50);
  EXPECT_TRUE(seen);
  EXPECT_FALSE(masked);
}

TEST_F(ServerDialogTest, TypingANewServerFromTheKeyboardAndOkStoresIt) {
  ServerDialog* open = nullptr;
  bool typed = false;
  int ticks = 0;
  // Typing goes into the name field, where the dialog puts the focus. Once
  // the field has the focus and the pointer the text is typed; OK is pressed when all of
  // it arrived (Cancel after 10 s without it, since an empty name would stop
  // the test at a message box). A loaded machine may take its time for both.
  wxTimer poll;
  poll.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    ++ticks;
    if (!open)
      for (wxWindow* window : wxTopLevelWindows)
        if (auto* dialog = dynamic_cast<ServerDialog*>(window)) open = dialog;
    if (!open) return;
    if (!typed) {
      if (wxWindow::FindFocus() != open->NameField() && ticks < 100) return;
      // Without a window manager the keyboard goes to the window under the
      // pointer, which an earlier test may have left anywhere.
      const wxRect field = open->NameField()->GetScreenRect();
      if (!field.Contains(wxGetMousePosition()) && ticks < 150) {
        wxUIActionSimulator().MouseMove(field.GetLeft() + field.GetWidth() / 2, field.GetTop() + field.GetHeight() / 2);
        return;
      }
      wxUIActionSimulator().Text("typed server");
      typed = true;
      ticks = 0;
      return;
    }
    const bool arrived = open->NameField()->GetValue() == "typed server";
    if (!arrived && ticks < 200) return;
    poll.Stop();
    Press(*open, arrived ? open->OkId() : wxID_CANCEL);
  });
  poll.Start(50);
  EXPECT_EQ(EditServer(context_, -1), 2);
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(servers_.Get(2).name, u"typed server");
  EXPECT_EQ(servers_.Count(), 2);
}

// A user's New-server flow with the real pointer and keyboard: move to each
// field, click it, type, then click OK. Moving onto the address field opens
// its balloon, which lies over the login and password fields below; the
// clicks and the typing meant for them must still reach them, every time.
TEST_F(ServerDialogTest, ClicksAndTypingReachTheFieldsUnderTheBalloonEveryTime) {
  wxUIActionSimulator user;
  const auto pointAt = [&](wxWindow* control) {
    const wxRect at = control->GetScreenRect();
    // Come in from the field's left end, so the pointer crosses it as a hand would.
    user.MouseMove(at.x + 4, at.y + at.height / 2);
    Pump(30);
    user.MouseMove(at.x + at.width / 2, at.y + at.height / 2);
    Pump(60);
  };
  const auto clickAndType = [&](wxWindow* field, const std::string& text) {
    pointAt(field);
    user.MouseClick();
    Pump(60);
    user.Text(text.c_str());
    Pump(80);
  };
  int complete = 0;
  for (int run = 0; run < 20; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    ServerTable servers;
    ServerDialogContext context{servers, translator_, flags_, history_, ports_, clock_, nullptr};
    ServerEditor editor(servers, -1);
    auto dialog = std::make_unique<ServerDialog>(context, editor, false);
    dialog->Show();
    Pump(150);
    const std::string n = std::to_string(run);
    clickAndType(dialog->NameField(), "name" + n);
    pointAt(dialog->AddressField());
    ASSERT_NE(dialog->AddressTip(), nullptr);
    EXPECT_TRUE(dialog->AddressTip()->IsShown()) << "the balloon opens under the pointer";
    user.MouseClick();
    Pump(60);
    user.Text(("host" + n + ".example/www").c_str());
    Pump(80);
    // The balloon up again, over the login field, when that field is clicked.
    dialog->AddressTip()->ShowFor(dialog->AddressField(), W("Add the repertory\nafter the adress"), 6000);
    Pump(60);
    const wxRect login = dialog->LoginField()->GetScreenRect();
    EXPECT_TRUE(dialog->AddressTip()->GetScreenRect().Contains(login.x + login.width / 2, login.y + login.height / 2));
    clickAndType(dialog->LoginField(), "login" + n);
    EXPECT_FALSE(dialog->AddressTip()->IsShown()) << "a click closes it";
    clickAndType(dialog->PasswordField(), "secret" + n);
    pointAt(dialog->FindWindow(dialog->OkId()));
    user.MouseClick();
    EXPECT_TRUE(PumpUntil([&] { return !dialog->IsShown(); }, 5)) << "OK closes the dialog";
    dialog.reset();
    const ServerRecord stored = servers.Get(1);
    EXPECT_EQ(stored.name, Utf8ToUtf16("name" + n));
    EXPECT_EQ(stored.address, Utf8ToUtf16("host" + n + ".example/www"));
    EXPECT_EQ(stored.login, Utf8ToUtf16("login" + n));
    EXPECT_EQ(stored.password, Utf8ToUtf16("secret" + n));
    if (stored.name == Utf8ToUtf16("name" + n) && stored.address == Utf8ToUtf16("host" + n + ".example/www") &&
        stored.login == Utf8ToUtf16("login" + n) && stored.password == Utf8ToUtf16("secret" + n))
      ++complete;
  }
  std::printf("[ figure   ] all four fields saved in %d of 20 runs\n", complete);
  EXPECT_EQ(complete, 20);
}

TEST_F(ServerDialogTest, ScreenshotsWithAListingAndWithTheBalloonTip) {
  ASSERT_TRUE(server_.ok()) << server_.error();
  ServerRecord stored;
  stored.name = u"shown";
  stored.address = u"127.0.0.1/www";
  stored.login = AsciiToText(server_.user());
  stored.password = AsciiToText(server_.password());
  stored.port = server_.port();
  servers_.Set(2, stored);
  // The pointer away from the address field, whose tip would show at once.
  EXPECT_EQ(std::system("xdotool mousemove 5 5"), 0);
  ServerEditor editor(servers_, 2);
  ServerDialog dialog(context_, editor, false);
  dialog.Show();
  Press(dialog, dialog.ConnectId());
  ASSERT_TRUE(PumpUntil([&] { return !dialog.Listing(); }));
  Pump(300);
  const std::string folder = testing::BinaryDir() + "/shots";
  fs::create_directories(folder);
  const std::string plain = "import -window root " + folder + "/server_dialog_listing.png";
  EXPECT_EQ(std::system(plain.c_str()), 0);
  dialog.ShowAddressTip();
  Pump(800);
  const std::string tip = "import -window root " + folder + "/server_dialog.png";
  EXPECT_EQ(std::system(tip.c_str()), 0);
}

// The connection count in all six languages: the field shows the record's
// count and its label keeps to its rectangle, left of the field, inside the
// dialog. A screenshot per language.
TEST_F(ServerDialogTest, ConnectionsFieldInEveryLanguage) {
  ServerRecord stored;
  stored.name = u"four";
  stored.address = u"127.0.0.1/www";
  stored.connections = 4;
  stored.port = 65021;
  servers_.Set(2, stored);
  EXPECT_EQ(std::system("xdotool mousemove 5 5"), 0);
  const std::string folder = testing::BinaryDir() + "/shots";
  fs::create_directories(folder);
  for (std::size_t column = 0; column < kLanguageNames.size(); ++column) {
    translator_.SetLanguage(kLanguageNames[column]);
    ServerEditor editor(servers_, 2);
    ServerDialog dialog(context_, editor, false);
    dialog.Show();
    Pump(300);
    EXPECT_EQ(Utf8(dialog.ConnectionsField()->GetValue()), "4");
    // Five digits of the port show whole, left of the "Active" option.
    wxTextCtrl* port = dialog.PortField();
    EXPECT_EQ(Utf8(port->GetValue()), "65021");
    EXPECT_LE(port->GetTextExtent("65021").GetWidth() + 8, port->GetSize().GetWidth()) << column;
    EXPECT_LE(port->GetRect().GetRight(), dialog.ActiveOption()->GetRect().GetLeft()) << column;
    const wxRect field = dialog.ConnectionsField()->GetRect();
    const wxSize client = dialog.GetClientSize();
    EXPECT_LE(field.GetRight(), client.GetWidth()) << column;
    EXPECT_LE(field.GetBottom(), client.GetHeight()) << column;
    const std::string wanted = Utf16ToUtf8(translator_.Translate(u"Connections:"));
    int labels = 0;
    for (wxWindow* child : dialog.ConnectionsField()->GetParent()->GetChildren()) {
      auto* label = dynamic_cast<wxStaticText*>(child);
      if (!label || Utf8(label->GetLabel()) != wanted) continue;
      ++labels;
      EXPECT_LE(label->GetBestSize().GetWidth(), label->GetSize().GetWidth()) << "clipped in column " << column;
      EXPECT_LE(label->GetRect().GetRight(), field.GetLeft()) << column;
    }
    EXPECT_EQ(labels, 1) << column;
    const std::string shot = "import -window root " + folder + "/server_dialog_connections_" +
                             std::to_string(column) + ".png";
    EXPECT_EQ(std::system(shot.c_str()), 0);
  }
  translator_.SetLanguage(u"English");
}

// The protocol drop-down and the trust window in each language: nothing
// clipped (every text fits its control at the font it was given), new servers
// start with TLS when offered; screenshots go to shots/ for a look.
TEST(TlsWindowsTest, ProtocolListAndTrustWindowFitInEveryLanguage) {
  EnsureWxStarted();
  EXPECT_EQ(std::system("xdotool mousemove 5 5"), 0);
  const std::string folder = testing::BinaryDir() + "/shots";
  fs::create_directories(folder);
  const char* tags[] = {"en", "fr", "uk", "ru", "de", "zh"};
  for (std::size_t language = 0; language < kLanguageNames.size(); ++language) {
    ServerTable servers;
    Translator translator{kLanguageNames[language]};
    SharedFlags flags;
    SessionHistory history;
    ListenerPortSequence ports;
    SystemClock clock;
    ServerDialogContext context{servers, translator, flags, history, ports, clock, nullptr};
    ServerEditor editor(servers, -1);
    {
      ServerDialog dialog(context, editor, false);
      dialog.Show();
      Pump(200);
      wxChoice* protocol = dialog.ProtocolList();
      ASSERT_NE(protocol, nullptr);
      ASSERT_EQ(protocol->GetCount(), 7u);
      EXPECT_EQ(protocol->GetSelection(), kProtocolTlsIfOffered);
      EXPECT_EQ(protocol->GetSize(), wxSize(178, 22));
      for (unsigned i = 0; i < protocol->GetCount(); ++i) {
        EXPECT_LE(protocol->GetTextExtent(protocol->GetString(i)).GetWidth(), 178 - 30)
            << tags[language] << " entry " << i;
      }
      protocol->SetSelection(kProtocolImplicitTls);
      wxCommandEvent chosen(wxEVT_CHOICE, protocol->GetId());
      chosen.SetInt(kProtocolImplicitTls);
      protocol->GetEventHandler()->ProcessEvent(chosen);
      EXPECT_EQ(Utf8(dialog.PortField()->GetValue()), "990");
      // SFTP takes 22 where a default port stood, and gives it back.
      auto choose = [&](int chosenProtocol) {
        protocol->SetSelection(chosenProtocol);
        wxCommandEvent event(wxEVT_CHOICE, protocol->GetId());
        event.SetInt(chosenProtocol);
        protocol->GetEventHandler()->ProcessEvent(event);
        return Utf8(dialog.PortField()->GetValue());
      };
      EXPECT_EQ(choose(kProtocolSftp), "22");
      Pump(50);
      const std::string shot = "import -window root " + folder + "/server_dialog_" + tags[language] + ".png";
      EXPECT_EQ(std::system(shot.c_str()), 0);
      // WebDAV: 443 over HTTPS, 80 over plain HTTP (named unencrypted); the
      // FTP-only options are greyed out there and come back for FTP.
      auto ftpOptionsShown = [&] {
        return dialog.ActiveOption()->IsEnabled() && dialog.PassiveOption()->IsEnabled() &&
               dialog.Utf8Box()->IsEnabled();
      };
      EXPECT_TRUE(ftpOptionsShown());
      EXPECT_EQ(choose(kProtocolWebDavHttps), "443");
      EXPECT_FALSE(dialog.ActiveOption()->IsEnabled() || dialog.PassiveOption()->IsEnabled() ||
                   dialog.Utf8Box()->IsEnabled());
      EXPECT_EQ(choose(kProtocolWebDavHttp), "80");
      EXPECT_FALSE(dialog.ActiveOption()->IsEnabled() || dialog.Utf8Box()->IsEnabled());
      Pump(50);
      const std::string davShot =
          "import -window root " + folder + "/server_dialog_webdav_" + tags[language] + ".png";
      EXPECT_EQ(std::system(davShot.c_str()), 0);
      EXPECT_EQ(choose(kProtocolPlain), "21");
      EXPECT_TRUE(ftpOptionsShown());
      dialog.PortField()->ChangeValue("2222");
      EXPECT_EQ(choose(kProtocolSftp), "2222");
    }
    TrustRequest request;
    request.serverName = u"example";
    request.changed = language % 2 == 1;
    request.summary.subject = u"CN = ftp.example.org, O = Example hosting with a long name, C = DE";
    request.summary.issuer = request.summary.subject;
    request.summary.validFrom = u"2026-12-01 00:00:00 UTC";
    request.summary.validUntil = u"2027-12-01 00:00:00 UTC";
    for (int pair = 0; pair < 32; ++pair) request.summary.fingerprint += pair == 0 ? u"AB" : u":AB";
    TrustRequest hostKey;
    hostKey.serverName = u"example";
    hostKey.keyType = u"ssh-ed25519";
    hostKey.summary.fingerprint = u"SHA256:Wm0K1pQv3yZ8Xc7bN2fHjL4sT9aRgE6uIoP5dVkMnWq";
    for (const TrustRequest& shown : {request, hostKey}) {
      TrustWindow window(nullptr, translator, shown, nullptr);
      window.Show();
      Pump(200);
      EXPECT_EQ(window.GetClientSize(), wxSize(440, 262));
      for (wxWindow* panel : window.GetChildren()) {
        for (wxWindow* child : panel->GetChildren()) {
          const wxRect inside(wxPoint(0, 0), window.GetClientSize());
          EXPECT_TRUE(inside.Contains(child->GetRect())) << tags[language];
          auto* label = dynamic_cast<wxStaticText*>(child);
          if (label != nullptr && !label->HasFlag(wxST_ELLIPSIZE_END)) {
            int w = 0, h = 0;
            for (const wxString& line : wxSplit(label->GetLabel(), '\n', '\0')) {
              const wxSize extent = label->GetTextExtent(line);
              w = std::max(w, extent.GetWidth());
              h += extent.GetHeight();
            }
            EXPECT_LE(w, label->GetSize().GetWidth() + 1) << tags[language] << " " << Utf8(label->GetLabel());
            EXPECT_LE(h, label->GetSize().GetHeight() + 2) << tags[language] << " " << Utf8(label->GetLabel());
          }
        }
      }
      const std::string shot = "import -window root " + folder + "/trust_window_" +
                               (shown.keyType.empty() ? "" : "host_key_") + tags[language] + ".png";
      EXPECT_EQ(std::system(shot.c_str()), 0);
    }
  }
}

}  // namespace
}  // namespace wexmoor
