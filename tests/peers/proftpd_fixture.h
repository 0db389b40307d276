// A real ProFTPD on 127.0.0.1 and a free port, with mod_digest loaded (HASH,
// XCRC, XMD5, XSHA1, XSHA256) and MFMT: unpacked by
// scripts/fetch-peer-servers.sh, started with a temporary configuration and a
// user of its own password file whose home is `root`. Needs root (the user is
// root's uid, RootLogin on); ok() says whether it runs.
#pragma once

#include <sys/types.h>

#include <string>

namespace wexmoor::testing {


class ProftpdServer {
 public:
  explicit ProftpdServer(std::string root);
  ~ProftpdServer();
  ProftpdServer(const ProftpdServer&) = delete;
  ProftpdServer& operator=(const ProftpdServer&) = delete;

  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }

 private:
  std::string root_, work_, user_ = "proof", password_ = "pw-proof", error_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool ok_ = false;
};

}  // namespace wexmoor::testing
