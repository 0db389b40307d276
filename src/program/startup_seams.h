// The steps of start-up and shutdown that belong to other parts of the
// program (locked copies, updates, the windows, the upload worker, the
// network). RunProgram calls them in order; the program's main supplies one
// implementation, tests another.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"
#include "model/global_options.h"
#include "model/server_table.h"
#include "settings/settings_store.h"

namespace wexmoor {

struct ScreenSize {
  int width = 0;
  int height = 0;
};

class StartupSeams {
 public:
  virtual ~StartupSeams() = default;

  // Things about the preference file the user must hear of (a file set
  // aside, one that cannot be read, watch-folder lines not used), one line
  // each.
  virtual void ReportSettingsProblems(const std::vector<std::string>& /*lines*/) {}

  // The program's own pictures (window icon, dialog bitmaps).
  virtual void DecodeProgramPictures() {}
  // Reads the locked-settings block of the program file into the table and
  // options; true when this is a locked copy.
  virtual bool ReadLockedZone(ServerTable& servers, GlobalOptions& options) = 0;
  // Hands over to a waiting update; true when the program must end now,
  // without saving.
  virtual bool ApplyPendingUpdate(const GlobalOptions& options) = 0;
  // Asks for the interface language; empty when none was chosen.
  virtual Text ShowLanguageChooser() = 0;
  // The screen the main window opens on; nullopt when there is none, and the
  // stored position is then kept as it is.
  virtual std::optional<ScreenSize> Screen() = 0;
  // Opens the main window at `position`; false ends the program unsaved.
  virtual bool OpenMainWindow(const WindowPosition& position) = 0;
  // Command-line paths, each followed by "\r" (possibly empty), queued as a
  // drop is.
  virtual void QueueCommandLine(const Text& pathList) = 0;
  virtual void StartWorker() = 0;
  virtual void StartUpdateCheck() = 0;
  // 1 when the network is usable.
  virtual int StartNetwork() = 0;
  // The welcome window of a new version, modal.
  virtual void ShowWelcome() = 0;
  // Returns when the program is asked to close.
  virtual void RunMainLoop() = 0;

  // At exit: the text of the server-list gadget, nullopt when there is none.
  virtual std::optional<Text> ServerListText() = 0;
  // At exit: the window's position and check box into the options.
  virtual void StoreWindowState(GlobalOptions& /*options*/) {}
  virtual void TerminateWorker() = 0;
  virtual void Disconnect() = 0;
  virtual void CloseMainWindow() = 0;
};

}  // namespace wexmoor
