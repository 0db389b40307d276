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
#include <vector>

namespace wexmoor::testing {

// Extra choices for the fault tests.
struct PyFtpdOptions {
  int port = 0;                    // 0: a free one
  std::vector<std::string> extra;  // more arguments for the script
  // Another server script with the same arguments (tests/peers/vsftpd_server.py),
  // and its user; empty: pyftpd_server.py, "user" / "secret".
  std::string script;
  std::string user;
  std::string password;
};

class PyFtpdServer {
 public:
  // `storLog`: when not empty, a file that gets a line (the path) per stored file.
  explicit PyFtpdServer(std::string root, std::string user = "user", std::string password = "secret",
                        std::string storLog = {});
  PyFtpdServer(std::string root, const PyFtpdOptions& options);
  // Ends the server at once, as a crash would (SIGKILL; vsftpd_server.py
  // takes SIGTERM for that), and waits for it.
  void Kill(int signal = 9);
  // Sends a signal to the server script (vsftpd_server.py: SIGUSR1 cuts
  // every session).
  void Signal(int signal);
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
  void Launch(int port, const std::vector<std::string>& extra, const std::string& script = {});

  std::string root_, user_, password_, error_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool ok_ = false;
};

}  // namespace wexmoor::testing
