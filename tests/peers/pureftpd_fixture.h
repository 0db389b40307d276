// A real pure-ftpd on 127.0.0.1 and a free port (MFMT, no HASH): unpacked by
// scripts/fetch-peer-servers.sh, started with a temporary virtual-user
// database whose one user (uid "nobody") has `root` as its home; `root` is
// given to that uid. Needs root; ok() says whether it runs.
#pragma once

#include <sys/types.h>

#include <string>

namespace wexmoor::testing {

class PureFtpdServer {
 public:
  explicit PureFtpdServer(std::string root);
  ~PureFtpdServer();
  PureFtpdServer(const PureFtpdServer&) = delete;
  PureFtpdServer& operator=(const PureFtpdServer&) = delete;

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
