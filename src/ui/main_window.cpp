#include "ui/main_window.h"

#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>
#include <gtk/gtk.h>
#include <wx/log.h>
#include <wx/utils.h>

#include "model/version.h"
#include "ui/about_window.h"
#include "ui/file_drop.h"
#include "ui/label_fit.h"
#include "ui/log_window.h"
#include "ui/trust_window.h"
#include "ui/wx_text.h"

namespace wexmoor {
namespace {

constexpr int kClientWidth = 210;
constexpr int kClientHeight = 300;
constexpr int kPassMs = 20;
constexpr int kOpenInBrowserItem = 1;
constexpr int kRetryNowItem = 2;
constexpr int kWatchFoldersItem = 3;
constexpr int kHistoryItem = 4;
constexpr int kMoveToTopItem = 5;
constexpr int kMoveToBottomItem = 6;
constexpr int kPauseServerItem = 7;
constexpr int kPauseAllItem = 8;
constexpr int kResumeAllItem = 9;
constexpr int kLimitItem = 10;
// Timer ticks (20 ms) between repaints of the queue rows' states.
constexpr int kStateRefreshTicks = 25;

// GTK's drop-down list keeps its mouse presses inside its own button; a right
// press there is handed to `handler`.
gboolean OnListButtonPress(GtkWidget*, GdkEventButton* event, gpointer handler) {
  if (event->type != GDK_BUTTON_PRESS || event->button != 3) return FALSE;
  (*static_cast<std::function<void()>*>(handler))();
  return TRUE;
}

void ForwardRightPresses(GtkWidget* widget, std::function<void()>* handler) {
  if (GTK_IS_BUTTON(widget)) g_signal_connect(widget, "button-press-event", G_CALLBACK(OnListButtonPress), handler);
  if (GTK_IS_CONTAINER(widget))
    gtk_container_forall(GTK_CONTAINER(widget),
                         [](GtkWidget* child, gpointer data) {
                           ForwardRightPresses(child, static_cast<std::function<void()>*>(data));
                         },
                         handler);
}

}  // namespace

MainWindow::MainWindow(MainWindowContext& context, const wxPoint& position)
    : wxFrame(nullptr, wxID_ANY, ToWx(kWindowTitle), position, wxDefaultSize,
              wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX),
      context_(context),
      timer_(this) {
  rightClickHandler_ = [this] { CallAfter([this] { OnRightClick(); }); };
  if (context_.icon.IsOk()) SetIcon(context_.icon);
  SetClientSize(kClientWidth, kClientHeight);
  SetMinClientSize(wxSize(kClientWidth, kClientHeight));
  SetMaxClientSize(wxSize(kClientWidth, kClientHeight));
  panel_ = new wxPanel(this, wxID_ANY, wxPoint(0, 0), wxSize(kClientWidth, kClientHeight));
  serverMenu_.Append(kOpenInBrowserItem, ToWx(Translate(u"Open with your browser")));
  queueMenu_.Append(kRetryNowItem, ToWx(Translate(u"Retry now")));
  queueMenu_.Append(kHistoryItem, ToWx(Translate(u"History...")));
  queueMenu_.Append(kLimitItem, ToWx(Translate(u"Limit...")));
  queueMenu_.AppendSeparator();
  queueMenu_.Append(kMoveToTopItem, ToWx(Translate(u"Move to top")));
  queueMenu_.Append(kMoveToBottomItem, ToWx(Translate(u"Move to bottom")));
  if (context_.pause != nullptr) {
    queueMenu_.AppendSeparator();
    queueMenu_.Append(kPauseServerItem, ToWx(Translate(u"Pause this server")));
    queueMenu_.Append(kPauseAllItem, ToWx(Translate(u"Pause all")));
    queueMenu_.Append(kResumeAllItem, ToWx(Translate(u"Resume all")));
  }
  serverMenu_.Append(kWatchFoldersItem, ToWx(Translate(u"Watch folders...")));
  BuildControls();
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { OnRetryNow(); }, kRetryNowItem);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) {
    if (context_.editWatchFolders) context_.editWatchFolders(this);
  }, kWatchFoldersItem);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) {
    if (context_.showHistory) context_.showHistory(this);
  }, kHistoryItem);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) {
    if (context_.editUploadLimit) context_.editUploadLimit(this);
  }, kLimitItem);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { if (pass_) pass_->OnMoveSelected(true); }, kMoveToTopItem);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { if (pass_) pass_->OnMoveSelected(false); }, kMoveToBottomItem);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) {
    if (context_.pause == nullptr || menuServer_.empty()) return;
    context_.pause->SetServer(menuServer_, !context_.pause->Server(menuServer_));
    queueList_->RefreshStates();
  }, kPauseServerItem);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) {
    if (context_.pause != nullptr) context_.pause->SetAll(true);
    queueList_->RefreshStates();
  }, kPauseAllItem);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) {
    if (context_.pause != nullptr) context_.pause->ResumeAll();
    queueList_->RefreshStates();
  }, kResumeAllItem);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) {
    if (context_.openServerInBrowser && SelectedServer() >= 0)
      context_.openServerInBrowser(SelectedServer() + 1);
  }, kOpenInBrowserItem);
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OnTimer(); });
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& e) {
    // The window goes only at shutdown; closing is a request to the loop.
    if (pass_) pass_->OnCloseRequest();
    else context_.flags.quitRequested = true;
    if (e.CanVeto()) e.Veto();
    else e.Skip();
  });
}

MainWindow::~MainWindow() { timer_.Stop(); }

void MainWindow::BuildControls() {
  wxPanel* p = panel_;
  serverLabel_ = new wxStaticText(p, wxID_ANY, wxString(), wxPoint(10, 8), wxSize(130, 17),
                                  wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
  aboutButton_ = new wxButton(p, wxID_ANY, "?", wxPoint(142, 4), wxSize(58, 18));
  aboutButton_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { if (pass_) pass_->OnAbout(); });
  queueLabel_ = new wxStaticText(p, wxID_ANY, wxString(), wxPoint(10, 80), wxSize(190, 17),
                                 wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
  queueList_ = new QueueListCtrl(p, wxID_ANY, wxPoint(10, 97), wxSize(190, 80));
  if (context_.queueRowState) queueList_->SetRowStates(context_.queueRowState);
  queueList_->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent& e) {
    e.Skip();
    // Handled once the list has recorded the new selection.
    CallAfter([this] { if (pass_) pass_->OnQueueListClick(); });
  });
  removeButton_ = new wxButton(p, wxID_ANY, wxString(), wxPoint(10, 178), wxSize(190, 18));
  removeButton_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { if (pass_) pass_->OnRemoveFromList(); });
  removeButton_->Disable();
  zipCheck_ = new wxCheckBox(p, wxID_ANY, wxString(), wxPoint(10, 197), wxSize(190, 20));
  zipCheck_->SetValue(context_.options.zipBeforeUpload != 0);
  progressFrame_ = new wxStaticBox(p, wxID_ANY, wxString(), wxPoint(10, 217), wxSize(190, 62));
  currentFileText_ = new wxStaticText(p, wxID_ANY, wxString(), wxPoint(15, 232), wxSize(180, 14),
                                      wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_MIDDLE);
  statusText_ = new wxStaticText(p, wxID_ANY, wxString(), wxPoint(15, 248), wxSize(180, 14),
                                 wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
  statusFont_ = wxFont(wxFontInfo(7).Family(wxFONTFAMILY_SWISS).FaceName("Arial"));
  statusText_->SetFont(statusFont_);
  progressBar_ = new wxGauge(p, wxID_ANY, 100, wxPoint(15, 264), wxSize(180, 10),
                             wxGA_HORIZONTAL | wxGA_SMOOTH);
  siteButton_ = new wxButton(p, wxID_ANY, wxString(), wxPoint(10, 282), wxSize(190, 16));
  siteButton_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { if (pass_) pass_->OnSiteButton(); });
  // Without a web site it would lead nowhere.
  siteButton_->Show(!context_.siteBase.empty());
  BuildServerArea(context_.options.currentServer, context_.options.hideServerList != 0);
  Relabel();
  HookEvents(panel_);
  for (wxWindow* child : panel_->GetChildren()) HookEvents(child);
}

void MainWindow::HookEvents(wxWindow* window) {
  window->Bind(wxEVT_RIGHT_DOWN, [this](wxMouseEvent& e) {
    e.Skip();
    CallAfter([this] { OnRightClick(); });
  });
  if (context_.onDrop) AcceptDropsEverywhere(window, context_.onDrop);
}

void MainWindow::BuildServerArea(const Text& currentServer, bool hidden) {
  wxPanel* p = panel_;
  if (context_.flags.lockedMode.load() && context_.lockedPicture && context_.lockedPicture->IsOk()) {
    // The sunken border takes two pixels on each side: the box grows by them so
    // that a picture fitted to 186 x 45 shows whole.
    picture_ = new wxStaticBitmap(p, wxID_ANY, *context_.lockedPicture, wxPoint(8, 23),
                                  wxSize(190, 49), wxBORDER_SUNKEN);
    HookEvents(picture_);
    return;
  }
  if (hidden) {
    serverText_ = new wxStaticText(p, wxID_ANY, ToWx(currentServer), wxPoint(10, 35),
                                   wxSize(180, 20), wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    HookEvents(serverText_);
    return;
  }
  serverList_ = new wxChoice(p, wxID_ANY, wxPoint(10, 25), wxSize(kClientWidth - 20, 22));
  serverList_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { if (pass_) pass_->OnServerListSelect(); });
  ForwardRightPresses(serverList_->GetHandle(), &rightClickHandler_);
  deleteButton_ = new wxButton(p, wxID_ANY, wxString(), wxPoint(10, 50), wxSize(57, 18));
  deleteButton_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { if (pass_) pass_->OnDeleteServer(); });
  newButton_ = new wxButton(p, wxID_ANY, wxString(), wxPoint(73, 50), wxSize(57, 18));
  newButton_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { if (pass_) pass_->OnNewServer(); });
  modifyButton_ = new wxButton(p, wxID_ANY, wxString(), wxPoint(kClientWidth - 68, 50), wxSize(58, 18));
  modifyButton_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { if (pass_) pass_->OnModifyServer(); });
  for (wxWindow* w : {static_cast<wxWindow*>(serverList_), static_cast<wxWindow*>(deleteButton_),
                      static_cast<wxWindow*>(newButton_), static_cast<wxWindow*>(modifyButton_)})
    HookEvents(w);
  FillServerList(context_.servers.Names());
  // Select the first slot whose name is the current server; none when no name matches.
  const int slot = context_.servers.FindServer(currentServer);
  SelectServer(currentServer.empty() ? -1 : slot - 1);
}

void MainWindow::FreeServerArea() {
  for (wxWindow** w : {reinterpret_cast<wxWindow**>(&serverList_), reinterpret_cast<wxWindow**>(&deleteButton_),
                       reinterpret_cast<wxWindow**>(&newButton_), reinterpret_cast<wxWindow**>(&modifyButton_),
                       reinterpret_cast<wxWindow**>(&serverText_), reinterpret_cast<wxWindow**>(&picture_)}) {
    if (*w) (*w)->Destroy();
    *w = nullptr;
  }
}

void MainWindow::RebuildServerArea(const Text& currentServer, bool hidden) {
  FreeServerArea();
  BuildServerArea(currentServer, hidden);
  Relabel();
}

void MainWindow::Relabel() {
  const auto label = [this](TextView english) { return ToWx(Translate(english)); };
  if (deleteButton_) deleteButton_->SetLabel(label(u"Delete"));
  if (newButton_) newButton_->SetLabel(label(u"New"));
  if (modifyButton_) modifyButton_->SetLabel(label(u"Modify"));
  if (context_.flags.lockedMode.load() && picture_)
    serverLabel_->SetLabel(ToWx(context_.options.currentServer));
  else
    serverLabel_->SetLabel(label(u"FTP Servers"));
  queueLabel_->SetLabel(label(u"Drop here the files to upload"));
  removeButton_->SetLabel(label(u"Remove from the list"));
  siteButton_->SetLabel(label(u"Visit the author's site"));
  zipCheck_->SetLabel(label(u"Always zip before upload"));
  serverMenu_.SetLabel(kOpenInBrowserItem, label(u"Open with your browser"));
  queueMenu_.SetLabel(kRetryNowItem, label(u"Retry now"));
  queueMenu_.SetLabel(kHistoryItem, label(u"History..."));
  queueMenu_.SetLabel(kLimitItem, label(u"Limit..."));
  queueMenu_.SetLabel(kMoveToTopItem, label(u"Move to top"));
  queueMenu_.SetLabel(kMoveToBottomItem, label(u"Move to bottom"));
  if (context_.pause != nullptr) {
    queueMenu_.SetLabel(kPauseAllItem, label(u"Pause all"));
    queueMenu_.SetLabel(kResumeAllItem, label(u"Resume all"));
    PrepareQueueMenu();
  }
  serverMenu_.SetLabel(kWatchFoldersItem, label(u"Watch folders..."));
  for (wxWindow* button : {static_cast<wxWindow*>(deleteButton_), static_cast<wxWindow*>(newButton_),
                           static_cast<wxWindow*>(modifyButton_), static_cast<wxWindow*>(removeButton_),
                           static_cast<wxWindow*>(siteButton_)})
    FitLabelFont(button, 8);
  FitLabelFont(zipCheck_, 22);
  FitLabelFont(serverLabel_, 0);
  FitLabelFont(queueLabel_, 0);
  ShowFrameTitle();
}

void MainWindow::ShowFrameTitle() {
  // The seconds since the last sign of progress follow the title, in the
  // frame's own label: nothing of them stands on the frame's line.
  const wxString title = ToWx(Translate(u"In progress...")) + "  " + ToWx(elapsedShown_);
  if (progressFrame_->GetLabel() == title) return;
  progressFrame_->SetLabel(title);
  FitLabelFont(progressFrame_, 16);
}

void MainWindow::StartMainLoop(MainWindowPresenter& pass, std::function<void()> onEnd) {
  pass_ = &pass;
  onLoopEnd_ = std::move(onEnd);
  timer_.Start(kPassMs);
}

void MainWindow::StopMainLoop() {
  timer_.Stop();
  pass_ = nullptr;
}

void MainWindow::OnTimer() {
  ApplyWorkerChanges();
  if (++ticks_ % kStateRefreshTicks == 0) queueList_->RefreshStates();
  AskAboutCertificates();
  if (!pass_) return;
  if (passHook_) passHook_();
  if (!pass_->RunPass()) {
    timer_.Stop();
    pass_ = nullptr;
    if (onLoopEnd_) onLoopEnd_();
  }
}

void MainWindow::AskAboutCertificates() {
  if (context_.trustRequests == nullptr || askingTrust_) return;
  std::optional<TrustRequest> request = context_.trustRequests->Take();
  if (!request) return;
  askingTrust_ = true;
  // Outside the timer's handler: the modal window runs its own loop.
  CallAfter([this, request = std::move(*request)] {
    if (AskCertificateTrust(this, context_.translator, request, &context_.icon)) {
      TrustCertificate(context_.servers, request.serverName, request.summary.fingerprint);
      declined_.erase(request.serverName);
    } else {
      // Asked once per run; "Retry now" on one of its entries asks again.
      declined_[request.serverName] = request;
    }
    askingTrust_ = false;
  });
}

void MainWindow::OnRetryNow() {
  std::optional<TrustRequest> again;
  if (retryRow_ >= 0 && context_.queueRowState) {
    const QueueRowState row = context_.queueRowState(retryRow_);
    const auto declined = declined_.find(row.server);
    if (row.waitsForTrust && declined != declined_.end()) again = declined->second;
  }
  if (!again) {
    if (context_.retryNow) context_.retryNow();
    queueList_->RefreshStates();
    return;
  }
  if (askingTrust_) return;
  askingTrust_ = true;
  CallAfter([this, request = std::move(*again)] {
    if (AskCertificateTrust(this, context_.translator, request, &context_.icon)) {
      TrustCertificate(context_.servers, request.serverName, request.summary.fingerprint);
      declined_.erase(request.serverName);
    }
    askingTrust_ = false;
    if (context_.retryNow) context_.retryNow();
    queueList_->RefreshStates();
  });
}

void MainWindow::ApplyWorkerChanges() {
  WorkerMailbox::Changes changes = context_.mailbox.Take();
  bool fileRow = false;
  if (changes.currentFile && *changes.currentFile != currentFile_) {
    currentFile_ = *changes.currentFile;
    fileRow = true;
  }
  if (changes.filesInProgress) filesInProgress_ = *changes.filesInProgress;
  if (changes.status) {
    statusLine_ = *changes.status;
    const bool limited = TakeLimitedMark(statusLine_);
    fileRow = fileRow || limited != limited_;
    limited_ = limited;
  }
  if (fileRow) {
    // The file's name is cut in its middle; the word for a limit stays whole.
    const bool marked = limited_ && !currentFile_.empty();
    currentFileText_->SetLabel(
        ToWx(marked ? currentFile_ + u" " + context_.translator.Translate(u"(limited)") : currentFile_));
  }
  if (changes.status || changes.filesInProgress) {
    // Without the log's time and marks; an error as its reason, in the
    // user's language; the font made smaller before the end is cut.
    const wxString shown = ToWx(
        StatusLineText(ShownStatusLine(statusLine_, context_.translator), filesInProgress_, context_.translator));
    statusText_->SetFont(statusFont_);
    statusText_->SetLabel(shown);
    FitTextFont(statusText_, shown, 0);
  }
  if (changes.progress) progressBar_->SetValue(*changes.progress);
}

void MainWindow::OnRightClick() {
  const wxPoint at = wxGetMousePosition();
  if (progressFrame_->GetScreenRect().Contains(at)) OpenLogWindow();
  if (serverList_ && serverList_->GetScreenRect().Contains(at) && !context_.flags.lockedMode.load())
    PopupMenu(&serverMenu_, ScreenToClient(at));
  if (queueList_->GetScreenRect().Contains(at)) {
    // The row under the pointer, else the selected one.
    retryRow_ = queueList_->RowAt(queueList_->ScreenToClient(at));
    if (retryRow_ < 0) retryRow_ = queueList_->Selected();
    PrepareQueueMenu();
    PopupMenu(&queueMenu_, ScreenToClient(at));
  }
}

void MainWindow::PrepareQueueMenu() {
  const bool selection = queueList_->GetSelectedItemCount() > 0;
  queueMenu_.Enable(kMoveToTopItem, selection);
  queueMenu_.Enable(kMoveToBottomItem, selection);
  if (context_.pause == nullptr) return;
  menuServer_.clear();
  if (retryRow_ >= 0 && retryRow_ < queueList_->Count()) {
    // The row's own entry: the one at its index when it is that file (the
    // list may still show rows the worker just removed), else the first of
    // that name.
    const Text& shown = queueList_->Item(retryRow_);
    std::optional<QueueEntry> entry = context_.queue.At(retryRow_);
    if (!entry || EntryDisplayText(entry->text) != shown) entry = context_.queue.At(context_.queue.FindByDisplayText(shown));
    if (entry) menuServer_ = EntryServerName(entry->text);
  }
  const bool serverPaused = !menuServer_.empty() && context_.pause->Server(menuServer_);
  queueMenu_.SetLabel(kPauseServerItem, ToWx(Translate(serverPaused ? u"Resume this server" : u"Pause this server")));
  queueMenu_.Enable(kPauseServerItem, !menuServer_.empty());
  queueMenu_.Enable(kPauseAllItem, !context_.pause->All());
  queueMenu_.Enable(kResumeAllItem, context_.pause->All() || !context_.pause->Servers().empty());
}

void MainWindow::OpenLogWindow() {
  if (logWindow_) {
    logWindow_->Raise();
    return;
  }
  logWindow_ = ShowLogWindow(this, context_.history, context_.log, context_.flags,
                             [this] { logWindow_ = nullptr; });
}

Text MainWindow::SelectedServerName() const {
  if (serverList_) return FromWx(serverList_->GetStringSelection());
  if (serverText_) return FromWx(serverText_->GetLabel());
  return context_.options.currentServer;
}

bool MainWindow::ZipChecked() const { return zipCheck_->GetValue(); }

void MainWindow::ShowError(const Text& title, const Text& message) {
  wxMessageBox(ToWx(message), ToWx(title), wxOK | wxICON_ERROR, this);
}

int MainWindow::QueueCount() const { return queueList_->Count(); }
const Text& MainWindow::QueueItem(int index) const { return queueList_->Item(index); }
void MainWindow::AppendQueueItem(const Text& text) { queueList_->Append(text); }
void MainWindow::RemoveQueueItem(int index) { queueList_->RemoveAt(index); }
int MainWindow::SelectedQueueItem() const { return queueList_->Selected(); }
void MainWindow::SelectQueueItem(int index) { queueList_->Select(index); }
std::vector<int> MainWindow::SelectedQueueItems() const { return queueList_->SelectedRows(); }
void MainWindow::RemoveQueueItems(const std::vector<int>& rows) { queueList_->RemoveRows(rows); }
void MainWindow::MoveQueueItems(const std::vector<int>& rows, bool toTop) {
  queueList_->MoveRows(rows, toTop);
  queueList_->RefreshStates();
}

void MainWindow::SetRemoveEnabled(bool enabled) {
  if (removeButton_->IsEnabled() != enabled) removeButton_->Enable(enabled);
}

void MainWindow::SetElapsedText(const Text& text) {
  if (text == elapsedShown_) return;
  elapsedShown_ = text;
  ShowFrameTitle();
}

StatusTarget& MainWindow::StatusLine() { return context_.mailbox.Status(); }

Text MainWindow::CurrentFileText() const { return currentFile_; }

void MainWindow::ClearProgress() {
  // Drop whatever the worker posted for the file that is gone.
  context_.mailbox.Take();
  currentFile_.clear();
  currentFileText_->SetLabel(wxString());
  statusText_->SetLabel(wxString());
  progressBar_->SetValue(0);
}

bool MainWindow::ServerListShown() const { return serverList_ != nullptr; }

int MainWindow::SelectedServer() const { return serverList_ ? serverList_->GetSelection() : -1; }

Text MainWindow::ServerListText() const {
  return serverList_ ? FromWx(serverList_->GetStringSelection()) : Text();
}

std::optional<Text> MainWindow::ServerListTextForSaving() const {
  if (!serverList_) return std::nullopt;
  return ServerListText();
}

void MainWindow::FillServerList(const std::vector<Text>& names) {
  if (!serverList_) return;
  serverList_->Clear();
  for (const Text& n : names) serverList_->Append(ToWx(n));
}

void MainWindow::SelectServer(int index) {
  if (!serverList_) return;
  const int count = static_cast<int>(serverList_->GetCount());
  serverList_->SetSelection(index >= 0 && index < count ? index : wxNOT_FOUND);
}

void MainWindow::RemoveServerItem(int index) {
  if (serverList_ && index >= 0 && index < static_cast<int>(serverList_->GetCount()))
    serverList_->Delete(static_cast<unsigned>(index));
}

bool MainWindow::AskYesNo(const Text& title, const Text& message) {
  // The program's own box: GTK's message dialog stretches Yes and No over
  // its whole width.
  wxGenericMessageDialog box(this, ToWx(message), ToWx(title), wxYES_NO | wxICON_WARNING);
  box.SetYesNoLabels(ToWx(Translate(u"Yes")), ToWx(Translate(u"No")));
  return box.ShowModal() == wxID_YES;
}

int MainWindow::EditServer(int slot) {
  if (!context_.editServer) return slot < 0 ? context_.servers.Count() + 1 : slot;
  return context_.editServer(this, slot);
}

int MainWindow::ShowAbout(int hideServerList, int disableUpdates, bool lockedMode) {
  AboutSettings settings{hideServerList, disableUpdates, context_.options.notifications, lockedMode,
                         context_.siteBase};
  AboutHooks hooks;
  hooks.translator = &context_.translator;
  hooks.languageChanged = [this] {
    context_.options.language = context_.translator.Language();
    Relabel();
  };
  hooks.generateLockedCopy = context_.generateLockedCopy;
  hooks.notificationsChosen = [this](bool on) { context_.options.notifications = on ? 1 : 0; };
  hooks.icon = context_.icon.IsOk() ? &context_.icon : nullptr;
  return RunAboutWindow(this, settings, hooks);
}

void MainWindow::OpenAddress(const Text& url) {
  wxLogNull quiet;
  wxLaunchDefaultBrowser(ToWx(url));
}

Text MainWindow::Translate(TextView english) const { return context_.translator.Translate(english); }

Text MainWindow::Language() const { return context_.translator.Language(); }

}  // namespace wexmoor
