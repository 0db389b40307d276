// Where the program keeps its files. A preference file in the current folder
// means the portable set-up: the preference file and the update's working
// files stay in that folder. Otherwise the preference file lives in the
// user's configuration folder ($XDG_CONFIG_HOME/wexmoor/) and the working
// files in the cache folder ($XDG_CACHE_HOME/wexmoor/). In both set-ups the
// lock and the hand-over socket live in a private run-time folder
// ($XDG_RUNTIME_DIR/wexmoor/, or /tmp/wexmoor-<uid> without one), named after
// the preference file's real path, so nothing else sits beside the file.
#pragma once

#include <string>

#include "platform/text.h"

namespace wexmoor {

// What the program reads from its environment, once, at start.
struct DesktopEnvironment {
  Text currentDirectory;
  Text home;        // $HOME
  Text configHome;  // $XDG_CONFIG_HOME (empty or relative: not set)
  Text cacheHome;   // $XDG_CACHE_HOME
  Text stateHome;   // $XDG_STATE_HOME
  Text runtimeDir;  // $XDG_RUNTIME_DIR
  Text sessionBus;  // the session bus address; empty: no session bus
  Text sshAgentSocket;  // $SSH_AUTH_SOCK; empty: no agent
  unsigned userId = 0;
};

struct FileLocations {
  bool portable = false;
  Text preferenceFolder;  // no trailing "/"
  Text preferenceFile;    // folder + "/" + name
  Text workFolder;        // "temp.htm", "Temp.zip", "UpdateProg"
  Text runtimeFolder;     // lock and socket
  // The upload history: beside the preference file (portable), else in
  // $XDG_STATE_HOME/wexmoor/ (~/.local/state/wexmoor/).
  Text historyFile;
};

inline constexpr char16_t kApplicationFolderName[] = u"wexmoor";

FileLocations ChooseFileLocations(const DesktopEnvironment& environment, TextView preferenceFileName);

// Creates what is missing of `path`; a new last level gets mode 0700.
// `privateOnly`: the folder must also be a real folder (not a link) owned by
// the user with no access for others, as a folder under /tmp must be. False
// (with `error`) when the folder cannot be made or is not safe.
bool MakeUserFolder(const Text& path, unsigned userId, bool privateOnly, std::string* error);

// Creates the preference and run-time folders. False with `error` when
// one is missing and cannot be made, or the run-time folder is not private.
bool PrepareFolders(const FileLocations& locations, unsigned userId, std::string* error);

// At exit: removes the work folder (desktop set-up) and the run-time folder
// when they are empty, so that a run leaves only its preference file.
void RemoveEmptyFolders(const FileLocations& locations);

// The base name of the lock ("<name>.lock") and the socket in the run-time
// folder: the preference file's name and a digest of its real path (the
// folder resolved through its links), so that one file has one owner.
Text InstanceName(const FileLocations& locations);

}  // namespace wexmoor
