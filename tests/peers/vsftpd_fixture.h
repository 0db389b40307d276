// A real vsftpd on 127.0.0.1 and a free port for integration tests: a
// temporary system user (made with useradd, removed again) whose home is
// `root`, a temporary configuration, and a transfer log with one line per
// stored file. Needs root and /usr/sbin/vsftpd; ok() says whether it runs.
#pragma once

#include <sys/types.h>

#include <string>

namespace wexmoor::testing {

class VsftpdServer {
 public:
  explicit VsftpdServer(std::string root);
  ~VsftpdServer();
  VsftpdServer(const VsftpdServer&) = delete;
  VsftpdServer& operator=(const VsftpdServer&) = delete;

  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  // How many times the server stored `path` (absolute, below the root).
  int StoreCount(const std::string& path) const;

 private:
  std::string root_, work_, user_, password_, error_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool userMade_ = false;
  bool ok_ = false;
};

}  // namespace wexmoor::testing
