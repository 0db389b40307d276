// The program-wide options kept in the preference file.
#pragma once

#include "platform/text.h"

namespace wexmoor {

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
};

}  // namespace wexmoor
