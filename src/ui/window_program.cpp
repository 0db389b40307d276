#include "ui/window_program.h"

#include <cstdio>
#include <memory>
#include <random>

#include <wx/app.h>
#include <wx/display.h>
#include <wx/init.h>
#include <wx/msgdlg.h>

#include "ftp/control_connection.h"
#include "ftp/ftp_session.h"
#include "ftp/listener_ports.h"
#include "locked/generator_dialog.h"
#include "locked/locked_picture.h"
#include "locked/locked_settings_reader.h"
#include "locked/locked_zones.h"
#include "locked/welcome_window.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "spooler/drop_intake.h"
#include "spooler/upload_worker.h"
#include "spooler/written_archives.h"
#include "spooler/zip_library.h"
#include "startup/global_options.h"
#include "startup/main_loop_pass.h"
#include "startup/settings_store.h"
#include "startup/version.h"
#include "ui/chooser_window.h"
#include "ui/close_signals.h"
#include "ui/compact_style.h"
#include "ui/language_translator.h"
#include "ui/main_window.h"
#include "ui/server_dialog.h"
#include "ui/window_prompts.h"
#include "ui/worker_mailbox.h"
#include "ui/wx_text.h"
#include "web/http_state.h"
#include "web/pending_update.h"
#include "web/update_check.h"

extern "C" const unsigned char wexmoor_updater_image_begin[];
extern "C" const unsigned char wexmoor_updater_image_end[];

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

// Every process-wide object of one run.
struct Program {
  SystemClock clock;
  ServerTable servers;
  GlobalOptions options;
  UploadQueue queue;
  UiMessageRing addRing;
  UiMessageRing removeRing;
  SharedFlags flags;
  SessionHistory history;
  ListenerPortSequence ports;
  FtpSession session{clock, ports, flags.lastProgressTime, DefaultIpEchoUrl()};
  Translator translator;
  ZipLibrary zip;
  WrittenArchives written;
  WorkerMailbox mailbox;
  PictureSlot lockedPicture;
};

Text SiteBase() { return UpdateSiteFromEnvironment(); }

// Paths from the command line up to the first that names nothing, each
// followed by "\r".
Text CommandLinePaths(int argc, char** argv) {
  Text list;
  for (int i = 1; i < argc; ++i) {
    Text path = Utf8ToUtf16(argv[i]);
    if (!PathExists(path)) break;
    list += path + u"\r";
  }
  return list;
}

int Run(Program& program, CloseSignals& signals, int argc, char** argv) {
  InstallCompactStyle();
  InitPictureHandlers();

  // A locked copy carries its server in its own image.
  const bool locked = ReadLockedSettings(LockedSettingsArea(), program.servers, program.options);
  program.flags.lockedMode = locked;
  if (locked) program.lockedPicture.LoadPicture(LockedPictureArea());
  const Text prefs(PreferenceFileName(locked));
  LoadSettings(prefs, locked, program.servers, program.options, program.queue, program.addRing);

  if (!locked) {
    const std::span<const unsigned char> updater(
        wexmoor_updater_image_begin,
        static_cast<std::size_t>(wexmoor_updater_image_end - wexmoor_updater_image_begin));
    if (ApplyPendingUpdate(program.options.disableUpdates != 0, CurrentDirectory(), OwnExecutablePath(),
                           updater))
      return 0;
  }

  program.translator.SetLanguage(program.options.language);
  if (program.options.language.empty()) {
    RunLanguageChooser(program.translator);
    if (program.translator.Language().empty()) program.translator.SetLanguage(u"English");
    program.options.language = program.translator.Language();
  }

  const wxRect screen = wxDisplay(0u).GetGeometry();
  const WindowPosition at =
      MainWindowPosition(program.options.windowX, program.options.windowY, screen.width, screen.height);

  IntakeContext* intakeForDrops = nullptr;
  MainWindowContext windowContext{program.servers, program.queue, program.options, program.flags,
                                  program.translator, program.history, program.session.Log(),
                                  program.mailbox, SiteBase(), {}, {}, {}, {}, {}};
  ServerDialogContext dialogContext{program.servers, program.translator, program.flags, program.history,
                                    program.ports,   program.clock,      nullptr,       DefaultIpEchoUrl()};
  windowContext.editServer = [&dialogContext](wxWindow* owner, int slot) {
    dialogContext.owner = owner;
    return EditServer(dialogContext, slot);
  };
  windowContext.openServerInBrowser = [&program](int slot) { OpenServerInBrowser(program.servers, slot); };
  windowContext.generateLockedCopy = [&program](wxWindow* owner) {
    RunLockedCopyGenerator(owner, program.servers, program.translator);
  };
  windowContext.onDrop = [&intakeForDrops](const std::vector<Text>& paths) {
    if (!intakeForDrops) return;
    PathDropHandle drop(paths);
    HandleDrop(*intakeForDrops, drop);
  };
  if (program.lockedPicture.HasPicture()) {
    program.lockedPicture.FitPicture(182, 41);
    windowContext.lockedPicture = program.lockedPicture.Bitmap();
  }

  auto* window = new MainWindow(windowContext, wxPoint(at.x, at.y));
  window->Show();

  IntakeContext intake{program.queue, program.addRing, program.servers,    program.flags,
                       program.zip,   program.translator, *window,         &program.written};
  intakeForDrops = &intake;
  QueueDroppedItems(intake, CommandLinePaths(argc, argv));

  WorkerContext workerContext{program.queue, program.servers, program.removeRing, program.flags,
                              program.history, program.session, program.clock,     program.mailbox};
  WorkerSlot worker(workerContext);
  program.flags.lastProgressTime = program.clock.MonotonicSeconds();
  program.flags.quitRequested = false;
  worker.Start();

  WindowPrompts prompts(window, [&program, window] {
    wxMessageBox(ToWx(program.translator.Translate(u"Download is done.")), ToWx(kWindowTitle), wxOK, window);
  });
  HttpState http(program.clock, HttpOptions{CurrentDirectory(), 30000, 64u * 1024u * 1024u, &prompts});
  UpdateCheckContext updateContext{program.flags, http, prompts, program.translator, program.zip,
                                   SiteBase(), program.options.disableUpdates != 0, screen.width,
                                   screen.height, {}};
  UpdateCheck updateCheck(updateContext);
  updateCheck.Start();

  if (StartNetwork(program.session) != 1)
    program.session.Log().Append(u"Impossible to initialise connection (Internet Access does'nt seem to work)");

  if (program.options.storedVersion != kVersionText && !locked)
    ShowWelcomeWindow(window, program.translator);

  MainLoopContext loopContext{program.queue, program.servers, program.addRing, program.removeRing,
                              program.flags, program.clock, worker,
                              [&program](StatusTarget* status) {
                                // The terminated worker's stop token no longer holds.
                                program.session.SetStopToken({});
                                Disconnect(program.session, status);
                              },
                              program.options.hideServerList, program.options.disableUpdates,
                              program.options.currentServer, SiteBase(),
                              [&signals] { return signals.Arrived(); }};
  MainLoopPass pass(loopContext, *window);
  window->StartMainLoop(pass, [] { wxTheApp->ExitMainLoop(); });
  wxTheApp->OnRun();
  window->StopMainLoop();

  // Shutdown: settings and queue first, then the worker and the session.
  program.options.zipBeforeUpload = window->ZipChecked() ? 1 : 0;
  const wxPoint last = window->GetPosition();
  program.options.windowX = last.x;
  program.options.windowY = last.y;
  program.options.language = program.translator.Language();
  std::mt19937 random(std::random_device{}());
  SaveSettings(prefs, locked, program.servers, program.options, program.queue,
               window->ServerListTextForSaving(), random);
  prompts.Close();
  updateCheck.RequestStop();
  worker.Terminate();
  program.session.SetStopToken({});
  Disconnect(program.session, nullptr);
  updateCheck.Stop();
  intakeForDrops = nullptr;
  window->Destroy();
  wxTheApp->ProcessPendingEvents();
  return 0;
}

}  // namespace

int RunWindowProgram(int argc, char** argv) {
  CloseSignals signals;
  wxApp::SetInstance(new WindowApp);
  if (!wxEntryStart(argc, argv)) return 1;
  int code = 1;
  if (wxTheApp->CallOnInit()) {
    auto program = std::make_unique<Program>();
    code = Run(*program, signals, argc, argv);
    wxTheApp->OnExit();
  }
  wxEntryCleanup();
  return code;
}

}  // namespace wexmoor
