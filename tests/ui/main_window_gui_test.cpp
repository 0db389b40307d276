// The main window, the About window and the Log window on a real display,
// with a real upload worker and a real FTP server; screenshots of each window
// land in <build>/screenshots/ for a look.
#include "ui/main_window.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/dnd.h>
#include <wx/radiobut.h>
#include <wx/toplevel.h>
#include <wx/uiaction.h>
#include <gtk/gtk.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "ftp/ftp_session.h"
#include "ftp/listener_ports.h"
#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"
#include "support/wx_pump.h"
#include "platform/code_page.h"
#include "spooler/drop_intake.h"
#include "spooler/upload_worker.h"
#include "settings/settings_store.h"
#include "ui/about_window.h"
#include "ui/chooser_window.h"
#include "ui/compact_style.h"
#include "i18n/language_table.h"
#include "ui/log_window.h"
#include "ui/wx_text.h"

// Xlib's "Status" would hide the window's accessor of that name.
#ifdef Status
#undef Status
#endif

namespace wexmoor {
namespace {

namespace fs = std::filesystem;

using testing::EnsureWxStarted;
using testing::Pump;
using testing::PumpUntil;

std::string ShotFolder() {
  const std::string folder = testing::BinaryDir() + "/screenshots";
  fs::create_directories(folder);
  return folder;
}

// Takes `window` into <build>/screenshots/<name>.png.
void Shot(wxWindow* window, const std::string& name) {
  Pump(300);
  GdkWindow* gdk = gtk_widget_get_window(window->GetHandle());
  ASSERT_NE(gdk, nullptr);
  const std::string command = "import -window " + std::to_string(gdk_x11_window_get_xid(gdk)) + " '" +
                              ShotFolder() + "/" + name + ".png' 2>/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

std::string Utf8(const wxString& text) { return text.utf8_string(); }

template <typename T>
std::vector<T*> ChildrenOf(wxWindow* window) {
  std::vector<T*> out;
  for (wxWindow* child : window->GetChildren()) {
    if (auto* t = dynamic_cast<T*>(child)) out.push_back(t);
    for (T* below : ChildrenOf<T>(child)) out.push_back(below);
  }
  return out;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A main window over the program's objects, as start-up builds it.
class MainWindowGuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureWxStarted();
    translator.SetLanguage(u"English");
  }
  void TearDown() override {
    if (worker) worker->Terminate();
    if (window) {
      window->StopMainLoop();
      window->Destroy();
      Pump(50);
    }
  }

  void OpenWindow() {
    flags.lastProgressTime = clock.MonotonicSeconds();
    window = new MainWindow(context, wxPoint(40, 40));
    window->Show();
    pass = std::make_unique<MainWindowPresenter>(loop, *window);
    window->StartMainLoop(*pass, [] {});
    Pump(200);
  }

  std::vector<std::string> ListedItems() const {
    std::vector<std::string> out;
    for (int i = 0; i < window->QueueCount(); ++i) out.push_back(Utf16ToUtf8(window->QueueItem(i)));
    return out;
  }

  class NoWorker : public WorkerControl {
   public:
    explicit NoWorker(MainWindowGuiTest& test) : test_(test) {}
    void Start() override {
      if (test_.worker) test_.worker->Start();
    }
    void Terminate() override {
      if (test_.worker) test_.worker->Terminate();
    }

   private:
    MainWindowGuiTest& test_;
  };

  testing::TempFolder folder;
  SystemClock clock;
  ServerTable servers;
  GlobalOptions options;
  UploadQueue queue;
  UiMessageRing addRing, removeRing;
  SharedFlags flags;
  SessionHistory history;
  ListenerPortSequence ports;
  FtpSession session{clock, ports, flags.lastProgressTime};
  Translator translator;
  WorkerMailbox mailbox;
  MainWindowContext context{servers, queue, options, flags, translator, history, session.Log(),
                            mailbox, u"http://127.0.0.1:9", {}, {}, {}, {}, {}, {}, {}, {}};
  WorkerContext workerContext{queue, servers, removeRing, flags, history, session, clock, mailbox};
  std::unique_ptr<UploadWorker> worker;
  NoWorker workerControl{*this};
  MainWindowPresenterContext loop{queue, servers, addRing, removeRing, flags, clock, workerControl, {},
                       options.hideServerList, options.disableUpdates, options.currentServer,
                       u"http://127.0.0.1:9", {}};
  MainWindow* window = nullptr;
  std::unique_ptr<MainWindowPresenter> pass;
};

TEST_F(MainWindowGuiTest, QueuedFilesAreListedUploadedAndLeaveTheList) {
  fs::create_directories(folder.File("root"));
  testing::PyFtpdServer ftp(folder.File("root"));
  ASSERT_TRUE(ftp.ok()) << ftp.error();
  std::string prefs = "ServerName1 = Local\r\nServerAdress1 = 127.0.0.1\r\nServerLogin1 = user\r\n"
                      "ServerPassword1 = secret\r\nServerPort1 = " + std::to_string(ftp.port()) +
                      "\r\nCurrentServer = Local\r\nLangue$ = English\r\n";
  for (int i = 0; i < 3; ++i) {
    const std::string file = folder.File("queued" + std::to_string(i) + ".txt");
    WriteFile(file, "contents of file " + std::to_string(i));
    prefs += "File" + std::to_string(i) + " = " + file + "|Local|\r\n";
  }
  WriteFile(folder.File("Wexmoor.prefs"), prefs);
  LoadSettings(Utf8ToUtf16(folder.File("Wexmoor.prefs")), false, servers, options, queue, addRing);
  ASSERT_EQ(queue.Size(), 3);
  OpenWindow();

  ASSERT_TRUE(PumpUntil([&] { return window->QueueCount() == 3; }));
  EXPECT_EQ(ListedItems(), (std::vector<std::string>{"queued0.txt", "queued1.txt", "queued2.txt"}));
  EXPECT_EQ(Utf8(window->ServerList()->GetStringSelection()), "Local");
  Shot(window, "main_window_queued");

  flags.lastProgressTime = clock.MonotonicSeconds();
  worker = std::make_unique<UploadWorker>(workerContext);
  worker->Start();
  ASSERT_TRUE(PumpUntil([&] { return window->QueueCount() == 0; }, 60)) << ListedItems().size();
  for (int i = 0; i < 3; ++i) {
    std::ifstream in(folder.File("root/queued" + std::to_string(i) + ".txt"), std::ios::binary);
    std::string got((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(got, "contents of file " + std::to_string(i));
  }
  EXPECT_EQ(queue.Size(), 0);
  EXPECT_FALSE(window->RemoveButton()->IsEnabled());
  Shot(window, "main_window_uploaded");

  // The Log window shows the sessions' logs and follows the current one.
  bool logClosed = false;
  wxWindow* log = ShowLogWindow(window, history, session.Log(), flags, [&] { logClosed = true; });
  Pump(200);
  auto texts = ChildrenOf<wxTextCtrl>(log);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(Utf8(texts[0]->GetValue()).find("STOR"), std::string::npos);
  session.Log().Append(u"-----a line of the live log");
  Pump(200);
  EXPECT_NE(Utf8(texts[0]->GetValue()).find("a line of the live log"), std::string::npos);
  Shot(log, "log_window");
  flags.quitRequested = true;  // the program's quit request closes it
  EXPECT_TRUE(PumpUntil([&] { return logClosed; }, 5));
}

TEST_F(MainWindowGuiTest, RemoveFromTheListTakesTheEntryOutOfTheQueue) {
  for (const char* e : {"/nowhere/a.bin|X|", "/nowhere/b.bin|X|", "/nowhere/c.bin|X|"}) {
    queue.Append(Utf8ToUtf16(e));
    addRing.Put(Utf8ToUtf16(e));
  }
  OpenWindow();
  ASSERT_TRUE(PumpUntil([&] { return window->QueueCount() == 3; }));
  EXPECT_FALSE(window->RemoveButton()->IsEnabled());
  window->SelectQueueItem(2);
  Pump(100);
  EXPECT_TRUE(window->RemoveButton()->IsEnabled());
  wxCommandEvent click(wxEVT_BUTTON, window->RemoveButton()->GetId());
  window->RemoveButton()->GetEventHandler()->ProcessEvent(click);
  Pump(100);
  EXPECT_EQ(ListedItems(), (std::vector<std::string>{"a.bin", "b.bin"}));
  EXPECT_EQ(window->SelectedQueueItem(), 1);
  EXPECT_EQ(queue.Size(), 2);
}

// Several rows selected: the selection follows its rows when the worker's
// removal takes a row above them, and moved rows stay selected in their new
// places.
TEST_F(MainWindowGuiTest, SelectedRowsFollowRemovalsAndMoves) {
  OpenWindow();
  QueueListCtrl& list = *window->QueueList();
  for (const char16_t* name : {u"a", u"b", u"c", u"d", u"e"}) window->AppendQueueItem(name);
  for (long row : {1, 3}) list.SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  Pump(50);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{1, 3}));
  window->RemoveQueueItem(0);  // a file sent
  EXPECT_EQ(ListedItems(), (std::vector<std::string>{"b", "c", "d", "e"}));
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{0, 2})) << "still b and d";
  window->MoveQueueItems(list.SelectedRows(), false);
  EXPECT_EQ(ListedItems(), (std::vector<std::string>{"c", "e", "b", "d"}));
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{2, 3}));
  window->RemoveQueueItems(list.SelectedRows());
  EXPECT_EQ(ListedItems(), (std::vector<std::string>{"c", "e"}));
  EXPECT_TRUE(list.SelectedRows().empty());
}

TEST_F(MainWindowGuiTest, FilesDroppedOnAnyControlAreQueuedForTheSelectedServer) {
  ServerRecord r;
  r.name = u"First";
  servers.Set(1, r);
  r.name = u"Second";
  servers.Set(2, r);
  options.currentServer = u"Second";
  ZipLibrary zip;
  std::unique_ptr<IntakeContext> intake;
  context.onDrop = [&](const std::vector<Text>& paths) {
    struct Handle : DropHandle {
      std::vector<Text> p;
      int Count() const override { return static_cast<int>(p.size()); }
      Text Name(int i) const override { return p[static_cast<std::size_t>(i)]; }
      void Release() override {}
    } handle;
    handle.p = paths;
    HandleDrop(*intake, handle);
  };
  OpenWindow();
  intake = std::make_unique<IntakeContext>(
      IntakeContext{queue, addRing, servers, flags, zip, translator, *window, nullptr, {}});
  WriteFile(folder.File("dropped.txt"), "dropped bytes");
  for (wxWindow* target : {static_cast<wxWindow*>(window->QueueList()), static_cast<wxWindow*>(window->SiteButton())}) {
    auto* drop = dynamic_cast<wxFileDropTarget*>(target->GetDropTarget());
    ASSERT_NE(drop, nullptr);
    wxArrayString files;
    files.Add(wxString::FromUTF8(folder.File("dropped.txt")));
    EXPECT_TRUE(drop->OnDropFiles(5, 5, files));
  }
  ASSERT_TRUE(PumpUntil([&] { return window->QueueCount() == 2; }));
  EXPECT_EQ(ListedItems(), (std::vector<std::string>{"dropped.txt", "dropped.txt"}));
  EXPECT_EQ(queue.At(0)->text, Utf8ToUtf16(folder.File("dropped.txt")) + u"|Second|");

  // A long queue is listed within a sweep of the ring and stays a virtual list.
  for (int i = 0; i < 20000; ++i) addRing.Put(u"/far/f" + IntToText(i) + u".bin|Second|");
  ASSERT_TRUE(PumpUntil([&] { return window->QueueCount() == 20002; }, 120));
  const auto items = ListedItems();
  EXPECT_NE(std::find(items.begin(), items.end(), "f19999.bin"), items.end());
}

void ChooseLanguage(wxWindow* about, TextView name);

wxTopLevelWindow* TopLevelTitled(const char* title) {
  for (wxWindow* w : wxTopLevelWindows)
    if (w->IsShown() && Utf8(w->GetLabel()) == title) return dynamic_cast<wxTopLevelWindow*>(w);
  return nullptr;
}

TEST_F(MainWindowGuiTest, RightClickOnTheProgressFrameOpensTheLogAndTheHiddenFormShowsTheCurrentServer) {
  ServerRecord r;
  r.name = u"Local";
  servers.Set(1, r);
  options.currentServer = u"Local";
  history.Append(u"an earlier session\r\n");
  OpenWindow();
  wxUIActionSimulator mouse;
  mouse.MouseMove(window->ClientToScreen(wxPoint(100, 268)));
  Pump(100);
  mouse.MouseClick(wxMOUSE_BTN_RIGHT);
  ASSERT_TRUE(PumpUntil([] { return TopLevelTitled("Log") != nullptr; }, 10));
  wxTopLevelWindow* log = TopLevelTitled("Log");
  EXPECT_EQ(log->GetClientSize(), wxSize(440, 200));
  for (wxButton* ok : ChildrenOf<wxButton>(log)) {
    wxCommandEvent click(wxEVT_BUTTON, ok->GetId());
    ok->GetEventHandler()->ProcessEvent(click);
  }
  EXPECT_TRUE(PumpUntil([] { return TopLevelTitled("Log") == nullptr; }, 10));

  window->RebuildServerArea(u"Local", true);
  EXPECT_FALSE(window->ServerListShown());
  EXPECT_EQ(window->SelectedServerName(), u"Local");
  EXPECT_EQ(window->ServerListTextForSaving(), std::nullopt);
  translator.SetLanguage(u"Deutsch");
  window->Relabel();
  Shot(window, "main_window_hidden_Deutsch");
  window->RebuildServerArea(u"Local", false);
  ASSERT_TRUE(window->ServerListShown());
  EXPECT_EQ(Utf8(window->DeleteButton()->GetLabel()), "Löschen");
  EXPECT_EQ(window->ServerListText(), u"Local");
}

TEST_F(MainWindowGuiTest, FirstStartChooserOffersSixLanguagesWithNoneChosen) {
  Translator chosen;
  wxTheApp->CallAfter([] {
    wxTopLevelWindow* chooser = TopLevelTitled("Languages");
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->GetClientSize(), wxSize(440, 90));
    int shownOptions = 0;
    for (wxRadioButton* option : ChildrenOf<wxRadioButton>(chooser)) {
      if (!option->IsShown()) continue;
      ++shownOptions;
      EXPECT_FALSE(option->GetValue()) << Utf8(option->GetLabel());
    }
    EXPECT_EQ(shownOptions, 6);
    // One font for all six names, none cut.
    std::set<double> sizes;
    for (wxRadioButton* option : ChildrenOf<wxRadioButton>(chooser)) {
      if (!option->IsShown()) continue;
      sizes.insert(option->GetFont().GetFractionalPointSize());
      EXPECT_LE(option->GetTextExtent(option->GetLabel()).GetWidth() + 22, option->GetSize().GetWidth());
    }
    EXPECT_EQ(sizes.size(), 1u);
    Shot(chooser, "language_chooser");
    ChooseLanguage(chooser, u"中文");
    static_cast<wxDialog*>(chooser)->EndModal(wxID_OK);
  });
  RunLanguageChooser(chosen);
  EXPECT_EQ(chosen.Language(), u"中文");
}

// Clicks the language option `name` in the open About window.
void ChooseLanguage(wxWindow* about, TextView name) {
  for (wxRadioButton* option : ChildrenOf<wxRadioButton>(about)) {
    if (FromWx(option->GetLabel()) != name) continue;
    option->SetValue(true);
    wxCommandEvent click(wxEVT_RADIOBUTTON, option->GetId());
    click.SetEventObject(option);
    click.SetInt(1);
    option->GetEventHandler()->ProcessEvent(click);
    return;
  }
  ADD_FAILURE() << "no option " << Utf16ToUtf8(name);
}

std::string AboutText(wxWindow* about) {
  std::string all;
  for (wxStaticText* t : ChildrenOf<wxStaticText>(about)) all += Utf8(t->GetLabel());
  return all;
}

TEST_F(MainWindowGuiTest, GermanInTheAboutWindowRelabelsTheMainWindowAtOnce) {
  ServerRecord r;
  r.name = u"Local";
  servers.Set(1, r);
  options.currentServer = u"Local";
  OpenWindow();
  ASSERT_EQ(Utf8(window->DeleteButton()->GetLabel()), "Delete");

  int shown = 0;
  std::string labelWhileSecondOpen;
  std::string secondText;
  AboutSettings settings{0, 1, 1, false, u"http://127.0.0.1:9"};
  AboutHooks hooks;
  hooks.translator = &translator;
  hooks.languageChanged = [&] { window->Relabel(); };
  hooks.openAddress = [](const Text&) {};
  hooks.onShown = [&](wxWindow* about) {
    ++shown;
    if (shown == 1) {
      Shot(about, "about_English");
      ChooseLanguage(about, u"Deutsch");
    } else {
      labelWhileSecondOpen = Utf8(window->DeleteButton()->GetLabel());
      secondText = AboutText(about);
      Shot(about, "about_Deutsch");
      static_cast<wxDialog*>(about)->EndModal(wxID_OK);
    }
  };
  const int result = RunAboutWindow(window, settings, hooks);
  EXPECT_EQ(shown, 2) << "a language change builds the window again";
  EXPECT_EQ(labelWhileSecondOpen, Utf8(ToWx(translator.Translate(u"Delete"))));
  EXPECT_EQ(labelWhileSecondOpen, "Löschen");
  const std::string joined = Utf8(ToWx(
      translator.Translate(u"Choose your server destination before droping your file. You can send files to "
                           u"different FTPs if you change the server between each drop.") +
      u" " +
      translator.Translate(u"To know the destination of a file, click on its name: the corresponding server "
                           u"will be selected in the top list.")));
  // The label wraps lines; compare without the breaks.
  auto squeeze = [](std::string s) {
    std::erase_if(s, [](char c) { return c == '\n' || c == ' '; });
    return s;
  };
  EXPECT_NE(squeeze(secondText).find(squeeze(joined)), std::string::npos);
  EXPECT_EQ(result, 2) << "OK with the update box ticked";
  EXPECT_EQ(Utf8(window->DeleteButton()->GetLabel()), "Löschen");
}

// The queue row's tip is the tip of the row under the pointer now: it takes a
// new attempt's text while shown, follows the entry that moves under the
// pointer, and goes when no row is there.
TEST_F(MainWindowGuiTest, QueueTipFollowsThePointerAndTheEntrysLatestAttempt) {
  std::map<Text, Text> tips{{u"first.txt", u"Connection refused\nNext attempt at 03:50:24"},
                            {u"second.txt", u"Certificate not trusted"}};
  context.queueRowState = [&](int row) {
    QueueRowState state;
    if (row < window->QueueCount()) state.tip = tips[window->QueueItem(row)];
    return state;
  };
  OpenWindow();
  window->AppendQueueItem(u"first.txt");
  window->AppendQueueItem(u"second.txt");
  QueueListCtrl* list = window->QueueList();
  Pump(100);
  const wxPoint overFirstRow = list->ClientToScreen(wxPoint(60, 6));
  ASSERT_EQ(list->RowAt(wxPoint(60, 6)), 0);
  const std::string move =
      "xdotool mousemove " + std::to_string(overFirstRow.x) + " " + std::to_string(overFirstRow.y);
  ASSERT_EQ(std::system(move.c_str()), 0);
  auto tipIs = [&](const Text& wanted) {
    return PumpUntil([&] { return list->ShownTip() == wanted && FromWx(list->GetToolTipText()) == wanted; }, 5);
  };
  EXPECT_TRUE(tipIs(tips[u"first.txt"])) << Utf16ToUtf8(list->ShownTip());

  // A new attempt failed otherwise: the tip says so without a move.
  tips[u"first.txt"] = u"Login refused\nNext attempt at 03:51:10";
  EXPECT_TRUE(tipIs(tips[u"first.txt"])) << Utf16ToUtf8(list->ShownTip());

  // The first entry leaves: the second now stands under the pointer.
  window->RemoveQueueItem(0);
  EXPECT_TRUE(tipIs(tips[u"second.txt"])) << Utf16ToUtf8(list->ShownTip());

  // No row under the pointer: no tip (not a delivered entry's).
  window->RemoveQueueItem(0);
  EXPECT_TRUE(PumpUntil([&] { return list->ShownTip().empty(); }, 5)) << Utf16ToUtf8(list->ShownTip());
  EXPECT_EQ(std::system("xdotool mousemove 5 5"), 0);
}

TEST_F(MainWindowGuiTest, ScreenshotsInEveryLanguage) {
  ServerRecord r;
  r.name = u"Local";
  servers.Set(1, r);
  options.currentServer = u"Local";
  OpenWindow();
  window->AppendQueueItem(u"a file with a rather long name.txt");
  mailbox.PostCurrentFile(u"a file with a rather long name.txt");
  mailbox.PostStatus(u"12:00:00: -----1234.50 Kb sent at 2900.00 Kb/s.");
  mailbox.PostProgress(40);
  flags.lastProgressTime = clock.MonotonicSeconds();
  for (TextView language : kLanguageNames) {
    translator.SetLanguage(language);
    window->Relabel();
    const std::string name(Utf16ToUtf8(language));
    Shot(window, "main_window_" + name);
    // The status line is never cut, and no site, no site button.
    EXPECT_LE(window->Status()->GetTextExtent(window->Status()->GetLabel()).GetWidth(),
              window->Status()->GetSize().GetWidth());
    EXPECT_TRUE(window->SiteButton()->IsShown()) << "a site is set here";
    // The delete confirmation: Yes and No at their own widths.
    const std::string caution = Utf8(ToWx(translator.Translate(u"CAUTION!")));
    wxTheApp->CallAfter([&] {
      wxTopLevelWindow* box = TopLevelTitled(caution.c_str());
      ASSERT_NE(box, nullptr);
      for (wxButton* button : ChildrenOf<wxButton>(box))
        EXPECT_LT(button->GetSize().GetWidth(), box->GetClientSize().GetWidth() / 2) << name;
      Shot(box, "delete_confirmation_" + name);
      static_cast<wxDialog*>(box)->EndModal(wxID_NO);
    });
    EXPECT_FALSE(window->AskYesNo(translator.Translate(u"CAUTION!"),
                                  translator.Translate(u"Are you sure that you want to delete the sever named ") +
                                      u"Local?"));
    AboutSettings settings{0, 0, 1, false, u"http://127.0.0.1:9"};
    AboutHooks hooks;
    hooks.translator = &translator;
    hooks.onShown = [&](wxWindow* about) {
      Shot(about, "about_" + name);
      static_cast<wxDialog*>(about)->EndModal(wxID_CANCEL);
    };
    EXPECT_EQ(RunAboutWindow(window, settings, hooks), 0);
    // Without a web site: no button without a target, none blank.
    AboutSettings noSite{0, 0, 1, false, u""};
    hooks.onShown = [&](wxWindow* about) {
      for (wxButton* button : ChildrenOf<wxButton>(about)) {
        EXPECT_FALSE(button->GetLabel().empty()) << name;
        EXPECT_NE(Utf8(button->GetLabel()), Utf8(ToWx(translator.Translate(u"Mail to the author")))) << name;
      }
      Shot(about, "about_no_site_" + name);
      static_cast<wxDialog*>(about)->EndModal(wxID_CANCEL);
    };
    EXPECT_EQ(RunAboutWindow(window, noSite, hooks), 0);
  }
  // Locked copies: the About window always answers 3.
  AboutSettings locked{1, 0, 1, true, u"http://127.0.0.1:9"};
  AboutHooks hooks;
  hooks.translator = &translator;
  hooks.onShown = [&](wxWindow* about) {
    EXPECT_EQ(about->GetClientSize(), wxSize(460, 426));
    Shot(about, "about_locked");
    static_cast<wxDialog*>(about)->EndModal(wxID_CANCEL);
  };
  EXPECT_EQ(RunAboutWindow(window, locked, hooks), 3);
}

}  // namespace
}  // namespace wexmoor
