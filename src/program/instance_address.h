// Where a folder's running program listens and what it locks: the lock file
// beside the preference file ("Wexmoor.prefs.lock") and the socket
// ".Wexmoor.prefs.sock" in the folder, or an abstract name derived from the
// folder when that path is too long for a socket address.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <string>

#include "platform/text.h"

namespace wexmoor {

struct InstanceAddress {
  sockaddr_un address{};
  socklen_t length = 0;
  std::string file;     // empty for an abstract name
  std::string display;  // file path, or "@" + abstract name
};

// The folder's socket file when its path fits a socket address, otherwise an
// abstract name made from the folder's canonical path.
InstanceAddress InstanceAddressFor(const Text& folder, TextView prefFileName);

// The lock file of `folder` for the preference file `prefFileName`.
std::string InstanceLockPath(const Text& folder, TextView prefFileName);

}  // namespace wexmoor
