#include "ui/window_host.h"

#include "program/settings_reload.h"
#include "settings/settings_autosave.h"

#include <algorithm>
#include <ctime>

#include <cstdio>
#include <memory>

#include <wx/app.h>
#include <wx/clipbrd.h>
#include <wx/dialog.h>
#include <wx/display.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/msgdlg.h>
#include <wx/notifmsg.h>
#include <wx/textdlg.h>
#include <wx/timer.h>

#include "ftp/control_connection.h"
#include "ui/locked/generator_dialog.h"
#include "ui/locked/locked_picture.h"
#include "locked/locked_zones.h"
#include "ui/locked/welcome_window.h"
#include "platform/files.h"
#include "settings/file_locations.h"
#include "ui/history_window.h"
#include "spooler/drop_intake.h"
#include "spooler/upload_worker.h"
#include "spooler/watch_folders.h"
#include "program/service_log.h"
#include "settings/settings_store.h"
#include "program/main_window_presenter.h"
#include "program/startup_sequence.h"
#include "model/version.h"
#include "ui/chooser_window.h"
#include "ui/compact_style.h"
#include "ui/main_window.h"
#include "ui/modal_closer.h"
#include "ui/program_icon.h"
#include "ui/server_dialog.h"
#include "ui/watch_folders_dialog.h"
#include "ui/window_prompts.h"
#include "program/worker_mailbox.h"
#include "ui/wx_text.h"
#include "http/http_state.h"
#include "web/pending_update.h"
#include "web/update_check.h"

namespace wexmoor {
namespace {

class WindowApp : public wxApp {
 public:
  bool OnInit() override { return true; }
  // A failed toolkit check goes to the error output, never to a modal box.
  void OnAssertFailure(const wxChar* file, int line, const wxChar* func, const wxChar* cond,
                       const wxChar* msg) override {
    std::fprintf(stderr, "%s(%d): %s: %s %s\n", wxString(file).utf8_str().data(), line,
                 wxString(func).utf8_str().data(), wxString(cond).utf8_str().data(),
                 wxString(msg ? msg : wxT("")).utf8_str().data());
  }
};

class PathDropHandle : public DropHandle {
 public:
  explicit PathDropHandle(std::vector<Text> paths) : paths_(std::move(paths)) {}
  int Count() const override { return static_cast<int>(paths_.size()); }
  Text Name(int index) const override {
    return index >= 0 && index < Count() ? paths_[static_cast<std::size_t>(index)] : Text();
  }
  void Release() override { paths_.clear(); }

 private:
  std::vector<Text> paths_;
};

// The one upload worker of the moment; the watchdog replaces it.
class WorkerSlot : public WorkerControl {
 public:
  WorkerSlot(WorkerContext& context, ProgramState& state) : context_(context), state_(state) {}
  void Start() override {
    worker_ = std::make_unique<UploadWorker>(context_, &state_.delivery, state_.delivered);
    worker_->Start();
  }
  void Terminate() override {
    if (worker_) worker_->Terminate();
    worker_.reset();
  }

 private:
  WorkerContext& context_;
  ProgramState& state_;  // its delivery book outlives the workers the watchdog replaces
  std::unique_ptr<UploadWorker> worker_;
};

// The worker's context with where its results go.
WorkerContext WithOutcomes(WorkerContext context, UploadOutcomes* outcomes, UploadRecorder* recorder) {
  context.outcomes = outcomes;
  context.recorder = recorder;
  return context;
}

// Each result into the history; a sent file's link to the notifications too.
class HistoryAndLinks final : public UploadRecorder {
 public:
  HistoryAndLinks(UploadHistory& history, UploadNotifications& notifications)
      : history_(history), notifications_(notifications) {}
  void Record(const UploadRecord& record) override {
    history_.Record(record);
    if (record.result == UploadResult::kSent) notifications_.Linked(record.id, record.link);
  }

 private:
  UploadHistory& history_;
  UploadNotifications& notifications_;
};

class WindowHost : public StartupSeams {
 public:
  WindowHost(ProgramServices& services, SignalWatch& signals, HandOverReceiver* handOvers)
      : services_(services), state_(services.state()), signals_(signals), handOvers_(handOvers) {}

  ~WindowHost() override {
    // The update check may wait for a box: close the boxes, then end it.
    if (prompts_) prompts_->Close();
    services_.StopUpdateCheck();
    prompts_.reset();
    if (window_) window_->Destroy();
  }

  void DecodeProgramPictures() override {
    // From here to the end a close request ends whatever window is open.
    closer_ = std::make_unique<ModalCloser>([this] { return signals_.Wait(0); });
    InstallCompactStyle();
    InitPictureHandlers();
    windowContext_.icon = MakeProgramIcon();
  }

  bool ReadLockedZone(ServerTable& servers, GlobalOptions& options) override {
    const bool locked = services_.ReadLockedZone(servers, options);
    if (locked && lockedPicture_.LoadPicture(LockedPictureArea())) lockedPicture_.FitPicture(186, 45);
    return locked;
  }

  bool ApplyPendingUpdate(const GlobalOptions& options) override { return services_.ApplyPendingUpdate(options); }

  Text ShowLanguageChooser() override {
    RunLanguageChooser(state_.translator, &windowContext_.icon);
    return state_.translator.Language();
  }

  // A queue row's delivery state (row = queue index) and its tip: the last
  // error and, while it waits, when the next attempt is due.
  QueueRowState RowState(int row) const {
    QueueRowState shown;
    const std::optional<QueueEntry> entry = state_.queue.At(row);
    if (!entry) return shown;
    const EntryDelivery d = state_.delivery.Get(entry->id);
    switch (d.status) {
      case EntryStatus::kQueued: shown.icon = QueueRowIcon::kQueued; break;
      case EntryStatus::kUploading: shown.icon = QueueRowIcon::kUploading; break;
      case EntryStatus::kWaiting: shown.icon = QueueRowIcon::kWaiting; break;
      case EntryStatus::kLocalMissing: shown.icon = QueueRowIcon::kMissing; break;
    }
    shown.tip = FailureText(d.lastError, state_.translator);
    shown.server = EntryServerName(entry->text);
    if (d.status != EntryStatus::kUploading && state_.pause.Holds(shown.server)) {
      // Nothing else happens to it until it is resumed.
      shown.icon = QueueRowIcon::kPaused;
      shown.tip = state_.translator.Translate(u"Paused");
      return shown;
    }
    shown.waitsForTrust = WaitsForTrust(ClassifyFailure(d.lastError).reason);
    if (d.status == EntryStatus::kWaiting && d.dueWall > 0) {
      const std::time_t due = static_cast<std::time_t>(d.dueWall);
      std::tm local{};
      localtime_r(&due, &local);
      char clock[16];
      std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
      if (!shown.tip.empty()) shown.tip += u"\n";
      shown.tip += state_.translator.Translate(u"Next attempt at") + u" " + AsciiToText(clock);
    }
    return shown;
  }

  std::optional<ScreenSize> Screen() override {
    const wxRect screen = wxDisplay(0u).GetGeometry();
    return ScreenSize{screen.width, screen.height};
  }

  bool OpenMainWindow(const WindowPosition& position) override {
    // A close request ended the first start's language chooser: the program
    // ends before anything is saved, so the chooser comes again next time.
    if (Closing()) return false;
    windowContext_.editServer = [this](wxWindow* owner, int slot) {
      dialogContext_.owner = owner;
      return EditServer(dialogContext_, slot);
    };
    windowContext_.openServerInBrowser = [this](int slot) { OpenServerInBrowser(state_.servers, slot); };
    windowContext_.trustRequests = &state_.trustRequests;
    windowContext_.generateLockedCopy = [this](wxWindow* owner) {
      RunLockedCopyGenerator(owner, state_.servers, state_.translator, &windowContext_.icon);
    };
    windowContext_.editWatchFolders = [this](wxWindow* owner) {
      if (!EditWatchFolders(owner, state_.translator, state_.servers, state_.options.watchFolders)) return;
      // The new list takes effect at once.
      StopWatching();
      StartWatching();
    };
    windowContext_.onDrop = [this](const std::vector<Text>& paths) {
      if (!intake_) return;
      PathDropHandle drop(paths);
      HandleDrop(*intake_, drop);
    };
    windowContext_.queueRowState = [this](int row) { return RowState(row); };
    windowContext_.retryNow = [this] { state_.delivery.ClearWaits(); };
    windowContext_.pause = &state_.pause;
    windowContext_.editUploadLimit = [this](wxWindow* owner) {
      const Translator& t = state_.translator;
      const int now = state_.options.uploadLimitKiB;
      wxTextEntryDialog dialog(owner, ToWx(t.Translate(u"Upload limit in KiB/s (0 or empty: off):")),
                               ToWx(t.Translate(u"Limit...")), now > 0 ? wxString::Format("%d", now) : wxString());
      dialog.SetTextValidator(wxFILTER_DIGITS);  // a number of KiB/s, or nothing
      if (wxWindow* ok = dialog.FindWindow(wxID_OK)) ok->SetLabel(ToWx(t.Translate(u"OK")));
      if (wxWindow* cancel = dialog.FindWindow(wxID_CANCEL)) cancel->SetLabel(ToWx(t.Translate(u"Cancel")));
      if (dialog.ShowModal() != wxID_OK) return;
      long value = 0;
      const wxString text = dialog.GetValue().Trim().Trim(false);
      if (!text.empty() && (!text.ToLong(&value) || value < 0 || value > 10'000'000)) return;
      state_.options.uploadLimitKiB = static_cast<int>(value);
      ApplyUploadLimits(state_);  // running uploads take it on their next block
    };
    windowContext_.showHistory = [this](wxWindow* owner) {
      ShowHistoryWindow(owner, state_.translator, state_.uploadHistory.Path());
    };
    if (lockedPicture_.HasPicture()) windowContext_.lockedPicture = lockedPicture_.Bitmap();
    window_ = new MainWindow(windowContext_, wxPoint(position.x, position.y));
    window_->Show();
    TellRenamedServers();
    intake_ = std::make_unique<IntakeContext>(services_.IntakeContextFor(*window_));
    prompts_ = std::make_unique<WindowPrompts>(window_, [this] {
      const Translator& t = state_.translator;
      const Text text =
          t.Translate(u"Download is done.") + u" Wexmoor" + t.Translate(u" will be updated on next starting.");
      wxMessageBox(ToWx(text), ToWx(t.Translate(u"Update")), wxOK, window_);
    });
    return true;
  }

  // Servers the load renamed because an earlier one had their name: said
  // once, when the main loop runs.
  void TellRenamedServers() {
    const std::vector<Text>& renamed = state_.options.renamedServers;
    if (renamed.size() < 2) return;
    Text text = state_.translator.Translate(u"These servers had the name of another server and were renamed:");
    for (std::size_t i = 0; i + 1 < renamed.size(); i += 2) text += u"\n" + renamed[i] + u" \u2192 " + renamed[i + 1];
    state_.options.renamedServers.clear();
    window_->CallAfter([this, text] {
      wxMessageBox(ToWx(text), ToWx(state_.translator.Translate(u"Server")), wxOK | wxICON_INFORMATION, window_);
    });
  }

  bool EndedByCloseRequest() const { return Closing() && window_ == nullptr; }

  void QueueCommandLine(const Text& pathList) override { QueueFor(pathList, state_.commandLineServer); }

  // A hand-over or the command line, for `server` (empty: the selected one).
  void QueueFor(const Text& pathList, const Text& server) {
    intake_->server = server;
    QueueDroppedItems(*intake_, pathList);
    intake_->server.clear();
  }

  void StartWorker() override {
    mailbox_.SetNotifications(&notifications_);
    worker_.Start();
    StartWatching();
  }

  // Watch folders feed the queue as drops do; the worker's results reach them
  // through the relay.
  void StartWatching() {
    if (watch_ || state_.options.watchFolders.empty() || state_.flags.lockedMode.load()) return;
    watch_ = std::make_unique<WatchFolders>(
        WatchContext{state_.queue, state_.addRing, state_.clock, SentRecordPath(state_.preferenceFile), {},
                     ServerExistsIn(state_.servers)},
        state_.options.watchFolders);
    relay_.SetNext(watch_.get());
    watch_->Start();
  }

  void StopWatching() {
    relay_.SetNext(nullptr);
    if (watch_) watch_->Stop();
    watch_.reset();
  }

  void ShowDueNotices() {
    for (const DesktopNotice& notice :
         notifications_.Due(state_.queue.Size() == 0, state_.options.notifications != 0 && state_.sessionBus)) {
      // Kept until the window closes: the desktop may still act on it.
      shownNotices_.push_back(
          std::make_unique<wxNotificationMessage>(ToWx(notice.title), ToWx(notice.message), window_));
      wxNotificationMessage& shown = *shownNotices_.back();
      if (!notice.link.empty()) {
        // "Copy link" where the desktop takes actions, else the link itself.
        if (shown.AddAction(wxID_COPY, ToWx(state_.translator.Translate(u"Copy link")))) {
          shown.Bind(wxEVT_NOTIFICATION_MESSAGE_ACTION, [link = notice.link](wxCommandEvent& event) {
            if (event.GetId() != wxID_COPY || !wxTheClipboard->Open()) return;
            wxTheClipboard->SetData(new wxTextDataObject(ToWx(link)));
            wxTheClipboard->Close();
          });
        } else {
          shown.SetMessage(ToWx(notice.message + u"\n" + notice.link));
        }
      }
      shown.Show(wxNotificationMessage::Timeout_Auto);
    }
  }

  void StartUpdateCheck() override {
    const wxRect screen = wxDisplay(0u).GetGeometry();
    services_.StartUpdateCheck(*prompts_, screen.width, screen.height);
  }

  int StartNetwork() override { return services_.StartNetwork(); }

  void ShowWelcome() override {
    if (Closing()) return;
    ShowWelcomeWindow(window_, state_.translator, &windowContext_.icon);
  }

  void RunMainLoop() override {
    MainWindowPresenter pass(loopContext_, *window_);
    // From now on a later start hears whether its paths can be queued.
    if (handOvers_) handOvers_->SetServerCheck(ServerExistsIn(state_.servers));
    window_->SetPassHook([this] {
      TakeSettingsEdit();  // before the options are offered again
      if (handOvers_)
        handOvers_->NoteChosenServer(state_.flags.lockedMode.load() ? state_.servers.Get(1).name
                                                                    : window_->SelectedServerName());
      OfferOptions();
      ShowDueNotices();
      // Paths handed over since start-up (during the language chooser, say)
      // wait for the first pass, then come as drops do.
      QueueHandedOverPaths();
    });
    // The pass may end inside a modal window's loop (a close request, seen
    // while a dialog is open): ExitMainLoop would do nothing there.
    window_->StartMainLoop(pass, [] { wxTheApp->GetMainLoop()->ScheduleExit(); });
    wxTheApp->OnRun();
    window_->StopMainLoop();
    // Later starts now wait for the folder; what was answered is queued, and saved.
    if (handOvers_) handOvers_->Stop();
    QueueHandedOverPaths();
  }

  std::optional<Text> ServerListText() override { return window_->ServerListTextForSaving(); }

  void StoreWindowState(GlobalOptions& options) override {
    const wxPoint at = window_->GetPosition();
    options.windowX = at.x;
    options.windowY = at.y;
    options.zipBeforeUpload = window_->ZipChecked() ? 1 : 0;
    options.language = state_.translator.Language();
  }

  // An edit of the preference file, read by the autosave: the server list
  // and the watch folders follow it.
  void TakeSettingsEdit() {
    // A file the settings cannot be saved to is said once per reason.
    if (state_.autosave != nullptr && window_ != nullptr)
      if (std::optional<std::string> failure = state_.autosave->TakeSaveFailure()) ReportSettingsProblems({*failure});
    std::optional<AppliedReload> applied = TakeSettingsReload(state_);
    if (!applied || window_ == nullptr) return;
    if (!applied->problems.empty()) ReportSettingsProblems(applied->problems);
    if (!applied->read) return;
    const Text shown = window_->ServerListText();
    const std::vector<Text> names = state_.servers.Names();
    window_->FillServerList(names);
    const auto at = std::find(names.begin(), names.end(), shown.empty() ? state_.options.currentServer : shown);
    window_->SelectServer(at == names.end() ? (names.empty() ? -1 : 0) : static_cast<int>(at - names.begin()));
    if (applied->watchFoldersChanged) {
      StopWatching();
      StartWatching();
    }
  }

  // A box once the window's own loop runs again.
  void ReportSettingsProblems(const std::vector<std::string>& lines) override {
    Text text;
    for (const std::string& line : lines) text.append(TranslatedSettingsProblem(line, state_.translator)).append(u"\n");
    if (window_ == nullptr) return;
    window_->CallAfter([this, text] { wxMessageBox(ToWx(text), "Wexmoor", wxOK | wxICON_WARNING, window_); });
  }

  // The options as the exit would save them, to the autosave: a change
  // (About window, language, current server, window moved) is on the disk
  // within about 2 s.
  void OfferOptions() {
    if (state_.autosave == nullptr || window_ == nullptr) return;
    GlobalOptions options = state_.options;
    StoreWindowState(options);
    if (std::optional<Text> current = ServerListText()) options.currentServer = *current;
    state_.autosave->OfferOptions(options);
  }

  void TerminateWorker() override {
    // Nothing may wait for the window any more.
    if (prompts_) prompts_->Close();
    services_.RequestUpdateCheckStop();
    worker_.Terminate();
    StopWatching();
  }

  void Disconnect() override { services_.Disconnect(nullptr); }

  void CloseMainWindow() override {
    services_.StopUpdateCheck();
    intake_.reset();
    shownNotices_.clear();
    if (window_) window_->Destroy();
    window_ = nullptr;
    wxTheApp->ProcessPendingEvents();
  }

 private:
  ProgramServices& services_;
  ProgramState& state_;
  bool Closing() const { return closer_ && closer_->Closing(); }

  void QueueHandedOverPaths() {
    if (!handOvers_ || !intake_) return;
    for (const HandOverRequest& request : handOvers_->TakeRequests()) {
      if (request.command == QueueCommand::kNone) QueueFor(request.paths, request.server);
      else ApplyQueueCommand(request.command, state_.pause);
    }
  }

  SignalWatch& signals_;
  std::unique_ptr<ModalCloser> closer_;
  HandOverReceiver* handOvers_;
  PictureSlot lockedPicture_;
  UploadNotifications notifications_;
  std::vector<std::unique_ptr<wxNotificationMessage>> shownNotices_;
  WorkerMailbox mailbox_;
  MainWindowContext windowContext_{state_.servers, state_.queue, state_.options, state_.flags,
                                   state_.translator, state_.history, state_.ftp.Log(), mailbox_,
                                   services_.environment().site, {}, {}, {}, {}, {}, {}, {}, {}};
  ServerDialogContext dialogContext_{state_.servers, state_.translator,     state_.flags,
                                     state_.history, state_.ports,          state_.clock,
                                     nullptr,        state_.ftp.ipEchoUrl(), state_.sftp.sshFolder,
                                     state_.sftp.agentSocket};
  ServiceLog relay_{nullptr};
  std::unique_ptr<WatchFolders> watch_;
  HistoryAndLinks historyAndLinks_{state_.uploadHistory, notifications_};
  WorkerContext workerContext_ = WithOutcomes(services_.WorkerContextFor(mailbox_), &relay_, &historyAndLinks_);
  WorkerSlot worker_{workerContext_, state_};
  MainWindowPresenterContext loopContext_{state_.queue, state_.servers, state_.addRing, state_.removeRing,
                               state_.flags, state_.clock, worker_,
                               [this](StatusTarget* status) { services_.Disconnect(status); },
                               state_.options.hideServerList, state_.options.disableUpdates,
                               state_.options.currentServer, services_.environment().site,
                               [this] { return Closing(); }};
  MainWindow* window_ = nullptr;
  std::unique_ptr<IntakeContext> intake_;
  std::unique_ptr<WindowPrompts> prompts_;
};

}  // namespace

bool StartWindowSystem(int argc, char** argv) {
  wxApp::SetInstance(new WindowApp);
  if (!wxEntryStart(argc, argv)) return false;
  if (!wxTheApp->CallOnInit()) {
    wxEntryCleanup();
    return false;
  }
  return true;
}

int RunWindowProgram(ProgramServices& services, SignalWatch& signals, const std::vector<Text>& args,
                     HandOverReceiver* handOvers) {
  int code = 0;
  {
    WindowHost seams(services, signals, handOvers);
    code = RunProgram(services.state(), seams, args);
    // Ended by a close request before the main window opened: not a failure.
    if (code == 1 && seams.EndedByCloseRequest()) code = 0;
  }
  wxTheApp->OnExit();
  wxEntryCleanup();
  return code;
}

}  // namespace wexmoor
