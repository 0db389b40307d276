// A real FTP server (pyftpdlib under /usr/bin/python3) on 127.0.0.1 and a free
// port, serving `root` to one user, for integration tests. The constructor
// waits until the server accepts connections (up to 15 s); the destructor
// stops it.
//
//   PyFtpdServer server(folder.path());
//   ASSERT_TRUE(server.ok()) << server.error();
//   record.address = u"127.0.0.1/upload";  record.port = server.port();
//   record.login = u"user"; record.password = u"secret";
//
// Passive data ports are taken from a small range just above the control port.
// Active mode works too: the server dials back the address PORT announces when
// it is 127.0.0.1.
#pragma once

#include <sys/types.h>

#include <string>

namespace wexmoor::testing {

class PyFtpdServer {
 public:
  // `port` 0: a free one. A given port lets a test bring a server back where
  // an earlier one was.
  explicit PyFtpdServer(std::string root, std::string user = "user", std::string password = "secret",
                        int port = 0);
  ~PyFtpdServer();
  PyFtpdServer(const PyFtpdServer&) = delete;
  PyFtpdServer& operator=(const PyFtpdServer&) = delete;

  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  const std::string& root() const { return root_; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }

 private:
  std::string root_, user_, password_, error_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool ok_ = false;
};

}  // namespace wexmoor::testing
