// A real OpenSSH server (/usr/sbin/sshd) on 127.0.0.1 and a free port, with a
// temporary configuration, a fresh ed25519 host key and a temporary system
// user that has a password and an authorized ed25519 key. Files the user
// uploads land in home(). Needs root (to make the user and to run sshd);
// available() says whether this machine can run it. The destructor stops the
// server and removes the user and every file.
//
//   SshdServer server;
//   if (!SshdServer::available()) GTEST_SKIP() << "needs root and sshd";
//   ASSERT_TRUE(server.ok()) << server.error();
#pragma once

#include <sys/types.h>

#include <memory>
#include <vector>
#include <string>

#include "peers/test_paths.h"

namespace wexmoor::testing {

class SshdServer {
 public:
  // `keyboardInteractive`: passwords only through keyboard-interactive
  // (PAM asks), the "password" method switched off.
  explicit SshdServer(bool keyboardInteractive = false);
  // Serves SFTP through `subsystemScript` (a Python file run as
  // "python3 script home" for every session) instead of sshd's own.
  SshdServer(bool keyboardInteractive, const std::string& subsystemScript);
  ~SshdServer();
  SshdServer(const SshdServer&) = delete;
  SshdServer& operator=(const SshdServer&) = delete;

  static bool available();
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  // The user's login folder.
  const std::string& home() const { return home_; }
  // A client's ~/.ssh: id_ed25519 (authorized) and id_rsa (not authorized).
  const std::string& clientSshFolder() const { return clientSsh_; }
  // The host key as ssh-keygen -l shows it ("SHA256:...").
  const std::string& hostFingerprint() const { return fingerprint_; }
  // "[127.0.0.1]:port ssh-ed25519 AAAA..." for a known_hosts file; with
  // `otherKey` the same name with a freshly made key instead.
  std::string KnownHostsLine(bool otherKey = false) const;
  // Log of sshd.
  std::string ServerLog() const;

 private:
  std::unique_ptr<TempFolder> folder_;
  std::string user_, password_, home_, clientSsh_, fingerprint_, hostKeyPublic_, otherKeyPublic_, error_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool userMade_ = false;
  bool ok_ = false;
};

// Runs a program with arguments; its standard output and error go to `out`
// (when given). Returns the exit status, -1 when it could not run or took
// longer than 30 s.
int RunTool(const std::vector<std::string>& args, std::string* out = nullptr);

}  // namespace wexmoor::testing
