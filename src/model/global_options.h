// The program-wide options kept in the preference file.
#pragma once

#include <vector>

#include "platform/text.h"

namespace wexmoor {

// One watched folder ("WatchFolder<i>"): new files in `folder` and below are
// uploaded to `server`, below `subfolder`.
struct WatchFolderSetting {
  Text folder;
  Text server;
  Text subfolder;
  int after = 0;  // 0: leave each file where it is; 1: move it into "Sent" once uploaded

  bool operator==(const WatchFolderSetting&) const = default;
};

struct GlobalOptions {
  Text language;       // "Langue$": interface language; empty until chosen
  Text currentServer;  // "CurrentServer": server to select at start-up
  int hideServerList = 0;  // "HideServerList": show a plain name instead of the list
  int disableUpdates = 0;  // "DisableUpdates"
  int windowX = 0;         // "FenetreX": 0 = centred
  int windowY = 0;         // "FenetreY": 0 = centred
  int zipBeforeUpload = 0; // "ZipOrNot": initial state of the zip check box
  int defaultPort = 21;    // "PortFTP": kept and written back
  Text storedVersion;      // "NoVersion": version that last saved the file
  int notifications = 1;   // "Notifications": desktop notices of finished and failing uploads
  int uploadLimitKiB = 0;  // "UploadLimitKiB": KiB/s shared by every session; 0: none
  std::vector<WatchFolderSetting> watchFolders;  // "WatchFolder<i>"
  // Not stored: what the last load renamed because an earlier server had the
  // same name, each as "old name" then "new name" ("name (2)").
  std::vector<Text> renamedServers;
  // "WatchFolder<i>" values that are not watch folders: kept as written and
  // saved after the others, so that the user can mend them.
  std::vector<Text> unusableWatchFolders;
  friend bool operator==(const GlobalOptions&, const GlobalOptions&) = default;
};

}  // namespace wexmoor
