// The composition root: what both hosts (with and without windows) build the
// same way from the program's state. A host adds only what differs: where the
// worker's texts go, how intake asks and reports, the prompts and the loop.
// The environment is read here once, at start, and passed down; nothing
// below program/ reads it.
#pragma once

#include <memory>
#include <span>

#include "ftp/status_target.h"
#include "http/http_request.h"
#include "http/http_state.h"
#include "model/global_options.h"
#include "model/server_table.h"
#include "platform/text.h"
#include "program/program_state.h"
#include "sftp/sftp_session.h"
#include "spooler/drop_intake.h"
#include "spooler/upload_worker.h"
#include "spooler/worker_display.h"
#include "web/update_check.h"
#include "web/update_prompts.h"

namespace wexmoor {

struct ProgramEnvironment {
  // The maker's site without a trailing "/" (WEXMOOR_SITE, else the build's
  // default); empty: no report and no update check.
  Text site;
  // The page that echoes the caller's address (WEXMOOR_IP_ECHO_URL, else the
  // build's default); empty: none.
  Text ipEchoUrl;
};

// Reads WEXMOOR_SITE and WEXMOOR_IP_ECHO_URL; unset or empty ones take the
// build's defaults.
ProgramEnvironment ReadProgramEnvironment();

// The SSH library for the whole process: made once by main before any
// thread starts, ended after the last session thread has gone.
class SftpLibraryScope {
 public:
  SftpLibraryScope() : started_(StartSftpLibrary()) {}
  ~SftpLibraryScope() {
    if (started_) StopSftpLibrary();
  }
  SftpLibraryScope(const SftpLibraryScope&) = delete;
  SftpLibraryScope& operator=(const SftpLibraryScope&) = delete;
  bool Started() const { return started_; }

 private:
  bool started_;
};

class ProgramServices {
 public:
  // `updaterImage`: the updater's bytes for a pending update (empty: no
  // hand-over). Makes the HTTP library ready; make it before any thread.
  ProgramServices(ProgramState& state, ProgramEnvironment environment,
                  std::span<const unsigned char> updaterImage = {});
  ~ProgramServices();
  ProgramServices(const ProgramServices&) = delete;
  ProgramServices& operator=(const ProgramServices&) = delete;

  ProgramState& state() { return state_; }
  const ProgramEnvironment& environment() const { return environment_; }

  // The upload worker's context, its texts going to `display`.
  WorkerContext WorkerContextFor(WorkerDisplay& display);
  // Drop intake's context, asking and reporting through `ui`.
  IntakeContext IntakeContextFor(IntakeUi& ui);

  // The settings a locked copy carries in its own file; false in a normal copy.
  bool ReadLockedZone(ServerTable& servers, GlobalOptions& options);
  // Hands a downloaded update to the updater; true when the program must end.
  bool ApplyPendingUpdate(const GlobalOptions& options);
  int StartNetwork();
  // Ends the FTP session (QUIT). The stop token of a terminated worker no
  // longer holds for the session, so it is reset first.
  void Disconnect(StatusTarget* status);

  // Starts the update check with `prompts` for its boxes and errors; one at a
  // time. StopUpdateCheck asks it to end and waits; RequestUpdateCheckStop
  // only asks.
  void StartUpdateCheck(UpdatePrompts& prompts, int screenWidth, int screenHeight);
  void RequestUpdateCheckStop();
  void StopUpdateCheck();

 private:
  ProgramState& state_;
  ProgramEnvironment environment_;
  std::span<const unsigned char> updaterImage_;
  HttpLibrary httpLibrary_;
  std::unique_ptr<HttpState> http_;
  std::unique_ptr<UpdateCheckContext> updateContext_;
  std::unique_ptr<UpdateCheck> updateCheck_;
};

}  // namespace wexmoor
