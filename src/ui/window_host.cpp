#include "ui/window_host.h"

#include <cstdio>
#include <memory>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/display.h>
#include <wx/init.h>
#include <wx/msgdlg.h>
#include <wx/notifmsg.h>
#include <wx/timer.h>

#include "ftp/control_connection.h"
#include "ui/locked/generator_dialog.h"
#include "ui/locked/locked_picture.h"
#include "locked/locked_zones.h"
#include "ui/locked/welcome_window.h"
#include "platform/files.h"
#include "settings/file_locations.h"
#include "spooler/drop_intake.h"
#include "spooler/upload_worker.h"
#include "program/main_window_presenter.h"
#include "program/startup_sequence.h"
#include "model/version.h"
#include "ui/chooser_window.h"
#include "ui/compact_style.h"
#include "ui/main_window.h"
#include "ui/program_icon.h"
#include "ui/server_dialog.h"
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
  explicit WorkerSlot(WorkerContext& context) : context_(context) {}
  void Start() override {
    worker_ = std::make_unique<UploadWorker>(context_);
    worker_->Start();
  }
  void Terminate() override {
    if (worker_) worker_->Terminate();
    worker_.reset();
  }

 private:
  WorkerContext& context_;
  std::unique_ptr<UploadWorker> worker_;
};

// Ends the open modal window when SIGTERM or SIGINT arrives, so that a close
// request is honoured while the language chooser or the welcome window waits
// for the user, before the main loop runs.
class ModalSignalGuard : public wxTimer {
 public:
  // `closeRequested` is set when the signal came, and a request already set
  // ends the window at once.
  ModalSignalGuard(SignalWatch& signals, bool& closeRequested) : signals_(signals), closeRequested_(closeRequested) {
    Start(50);
  }
  void Notify() override {
    if (!closeRequested_ && !signals_.Wait(0)) return;
    closeRequested_ = true;
    for (wxWindow* window : wxTopLevelWindows) {
      auto* dialog = wxDynamicCast(window, wxDialog);
      if (dialog && dialog->IsModal()) dialog->EndModal(wxID_CANCEL);
    }
  }

 private:
  SignalWatch& signals_;
  bool& closeRequested_;
};

class WindowHost : public StartupSeams {
 public:
  WindowHost(ProgramServices& services, SignalWatch& signals, InstanceChannel* channel)
      : services_(services), state_(services.state()), signals_(signals), channel_(channel) {}

  ~WindowHost() override {
    // The update check may wait for a box: close the boxes, then end it.
    if (prompts_) prompts_->Close();
    services_.StopUpdateCheck();
    prompts_.reset();
    if (window_) window_->Destroy();
  }

  void DecodeProgramPictures() override {
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
    ModalSignalGuard guard(signals_, closeRequested_);
    RunLanguageChooser(state_.translator, &windowContext_.icon);
    return state_.translator.Language();
  }

  std::optional<ScreenSize> Screen() override {
    const wxRect screen = wxDisplay(0u).GetGeometry();
    return ScreenSize{screen.width, screen.height};
  }

  bool OpenMainWindow(const WindowPosition& position) override {
    windowContext_.editServer = [this](wxWindow* owner, int slot) {
      dialogContext_.owner = owner;
      return EditServer(dialogContext_, slot);
    };
    windowContext_.openServerInBrowser = [this](int slot) { OpenServerInBrowser(state_.servers, slot); };
    windowContext_.generateLockedCopy = [this](wxWindow* owner) {
      RunLockedCopyGenerator(owner, state_.servers, state_.translator, &windowContext_.icon);
    };
    windowContext_.onDrop = [this](const std::vector<Text>& paths) {
      if (!intake_) return;
      PathDropHandle drop(paths);
      HandleDrop(*intake_, drop);
    };
    if (lockedPicture_.HasPicture()) windowContext_.lockedPicture = lockedPicture_.Bitmap();
    window_ = new MainWindow(windowContext_, wxPoint(position.x, position.y));
    window_->Show();
    intake_ = std::make_unique<IntakeContext>(services_.IntakeContextFor(*window_));
    prompts_ = std::make_unique<WindowPrompts>(window_, [this] {
      const Translator& t = state_.translator;
      const Text text =
          t.Translate(u"Download is done.") + u" Wexmoor" + t.Translate(u" will be updated on next starting.");
      wxMessageBox(ToWx(text), ToWx(t.Translate(u"Update")), wxOK, window_);
    });
    return true;
  }

  void QueueCommandLine(const Text& pathList) override { QueueDroppedItems(*intake_, pathList); }

  void StartWorker() override {
    mailbox_.SetNotifications(&notifications_);
    worker_.Start();
  }

  void StartUpdateCheck() override {
    const wxRect screen = wxDisplay(0u).GetGeometry();
    services_.StartUpdateCheck(*prompts_, screen.width, screen.height);
  }

  int StartNetwork() override { return services_.StartNetwork(); }

  void ShowWelcome() override {
    if (closeRequested_) return;
    ModalSignalGuard guard(signals_, closeRequested_);
    ShowWelcomeWindow(window_, state_.translator, &windowContext_.icon);
  }

  void RunMainLoop() override {
    // A close asked for while a window before the loop was open.
    if (closeRequested_) state_.flags.quitRequested = true;
    MainWindowPresenter pass(loopContext_, *window_);
    window_->SetPassHook([this] {
      for (const DesktopNotice& notice :
           notifications_.Due(state_.queue.Size() == 0, state_.options.notifications != 0 && state_.sessionBus)) {
        // Kept until the window closes: the desktop may still act on it.
        shownNotices_.push_back(
            std::make_unique<wxNotificationMessage>(ToWx(notice.title), ToWx(notice.message), window_));
        shownNotices_.back()->Show(wxNotificationMessage::Timeout_Auto);
      }
      if (!channel_ || !intake_) return;
      if (std::optional<Text> paths = channel_->PollPaths()) QueueDroppedItems(*intake_, *paths);
    });
    window_->StartMainLoop(pass, [] { wxTheApp->ExitMainLoop(); });
    wxTheApp->OnRun();
    window_->StopMainLoop();
  }

  std::optional<Text> ServerListText() override { return window_->ServerListTextForSaving(); }

  void StoreWindowState(GlobalOptions& options) override {
    const wxPoint at = window_->GetPosition();
    options.windowX = at.x;
    options.windowY = at.y;
    options.zipBeforeUpload = window_->ZipChecked() ? 1 : 0;
    options.language = state_.translator.Language();
  }

  void TerminateWorker() override {
    // Nothing may wait for the window any more.
    if (prompts_) prompts_->Close();
    services_.RequestUpdateCheckStop();
    worker_.Terminate();
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
  SignalWatch& signals_;
  bool closeRequested_ = false;
  InstanceChannel* channel_;
  PictureSlot lockedPicture_;
  UploadNotifications notifications_;
  std::vector<std::unique_ptr<wxNotificationMessage>> shownNotices_;
  WorkerMailbox mailbox_;
  MainWindowContext windowContext_{state_.servers, state_.queue, state_.options, state_.flags,
                                   state_.translator, state_.history, state_.ftp.Log(), mailbox_,
                                   services_.environment().site, {}, {}, {}, {}, {}, {}};
  ServerDialogContext dialogContext_{state_.servers, state_.translator, state_.flags, state_.history,
                                     state_.ports,   state_.clock,      nullptr,       state_.ftp.ipEchoUrl()};
  WorkerContext workerContext_ = services_.WorkerContextFor(mailbox_);
  WorkerSlot worker_{workerContext_};
  MainWindowPresenterContext loopContext_{state_.queue, state_.servers, state_.addRing, state_.removeRing,
                               state_.flags, state_.clock, worker_,
                               [this](StatusTarget* status) { services_.Disconnect(status); },
                               state_.options.hideServerList, state_.options.disableUpdates,
                               state_.options.currentServer, services_.environment().site,
                               [this] { return signals_.Wait(0); }};
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
                     InstanceChannel* channel) {
  int code = 0;
  {
    WindowHost seams(services, signals, channel);
    code = RunProgram(services.state(), seams, args);
  }
  wxTheApp->OnExit();
  wxEntryCleanup();
  return code;
}

}  // namespace wexmoor
