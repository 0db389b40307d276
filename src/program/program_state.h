// Every process-wide object of the program, made once at start-up and passed
// by reference to whoever needs it. Nothing else holds state for the whole
// process.
#pragma once

#include <memory>
#include <random>

#include "ftp/ftp_session.h"
#include "ftp/listener_ports.h"
#include "model/delivery_book.h"
#include "model/queue_pause.h"
#include "platform/clock.h"
#include "model/upload_queue.h"
#include "spooler/sftp_upload_session.h"
#include "spooler/upload_history.h"
#include "spooler/written_archives.h"
#include "archive/zip_library.h"
#include "settings/delivered_journal.h"
#include "model/global_options.h"
#include "model/server_table.h"
#include "model/shared_state.h"
#include "model/ui_message_ring.h"
#include "model/upload_limits.h"
#include "i18n/language_translator.h"
#include "program/certificate_trust.h"
#include "settings/password_keyring.h"
#include "settings/settings_store.h"

namespace wexmoor {

class SettingsAutosave;

struct ProgramState {
  // `ipEchoUrl` empty: no echo page (ProgramServices sets the environment's).
  explicit ProgramState(Text ipEchoUrl = {});
  ProgramState(const ProgramState&) = delete;
  ProgramState& operator=(const ProgramState&) = delete;

  SystemClock clock;
  ServerTable servers;
  GlobalOptions options;
  UploadQueue queue;
  // Parts, states and waits of the queue's entries.
  DeliveryBook delivery;
  // What the user paused (the whole queue, servers).
  QueuePause pause;
  // Deliveries not yet in a saved preference file (set while the program runs).
  DeliveredJournal* delivered = nullptr;
  // Takes the options the window changed, to bring them to the disk (set
  // while the main loop may run).
  SettingsAutosave* autosave = nullptr;
  UiMessageRing addRing;
  UiMessageRing removeRing;
  SharedFlags flags;
  SessionHistory history;
  // Every upload's result, one line each ("Wexmoor.history"; no file until
  // the file locations are known).
  UploadHistory uploadHistory;
  // Random choices of password scrambling; seeded from the system.
  std::mt19937 random;
  Translator translator;
  ZipLibrary zip;
  WrittenArchives writtenArchives;
  // Active-mode listener ports: base 6000, offset 0.
  ListenerPortSequence ports;
  // Untrusted certificates the engine met, for the window to ask about.
  CertificateTrustRequests trustRequests;
  FtpSession ftp;
  // The user's ~/.ssh and agent for SFTP sessions; unknown host keys go to
  // trustRequests.
  SftpSettings sftp{{}, {}, &trustRequests};
  // Shared by every upload session; follows the options and servers through
  // ApplyUploadLimits.
  UploadLimits uploadLimits{clock};

  // Folder of the preference file; empty means the current directory.
  Text preferenceFolder;
  // The preference file chosen at start-up (folder and name).
  Text preferenceFile;
  // The server the command line named (--to); empty: the chosen one.
  Text commandLineServer;
  // Folder of the update's working files ("temp.htm", "Temp.zip",
  // "UpdateProg"); empty means the current directory.
  Text workFolder;
  // The folder the updater installs into: the program's own folder when the
  // working files are elsewhere; empty means the work folder.
  Text installFolder;
  // Set: a copy the package manager updates; it never downloads or runs the
  // updater and only says when a newer version exists.
  bool installedCopy = false;
  // The Secret Service, when one runs; passwords go there in the desktop
  // set-up.
  std::unique_ptr<PasswordKeyring> keyring;
  PasswordPlacement passwords;
  // A session bus is there: desktop notifications can be sent without one
  // being started (and left running) for them.
  bool sessionBus = false;

  Text WorkFolder() const;
};

// Sets the upload limits from the options ("UploadLimitKiB") and each
// server's record ("ServerUploadLimitKiB<n>"); uploads running take them on
// their next block.
void ApplyUploadLimits(ProgramState& state);

}  // namespace wexmoor
