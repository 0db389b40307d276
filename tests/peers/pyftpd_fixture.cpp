#include "peers/pyftpd_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "peers/test_paths.h"

extern char** environ;

namespace wexmoor::testing {
namespace {

// A port the system gave out just now (free at this moment).
int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof at;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length) == 0) {
    port = ntohs(at.sin_port);
  }
  close(fd);
  return port;
}

bool Accepts(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
  close(fd);
  return ok;
}

}  // namespace

PyFtpdServer::PyFtpdServer(std::string root, std::string user, std::string password, int port)
    : root_(std::move(root)), user_(std::move(user)), password_(std::move(password)) {
  port_ = port != 0 ? port : FreePort();
  if (port_ == 0) {
    error_ = "no free port";
    return;
  }
  const int passiveLow = port_ < 65000 ? port_ + 1 : 60000;
  const int passiveHigh = passiveLow + 40;
  const std::string script = SourceDir() + "/tests/peers/pyftpd_server.py";
  std::vector<std::string> args = {"/usr/bin/python3", script,       "--root",        root_,
                                   "--port",           std::to_string(port_), "--user", user_,
                                   "--password",       password_,    "--passive-low", std::to_string(passiveLow),
                                   "--passive-high",   std::to_string(passiveHigh)};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    pid_ = -1;
    error_ = "could not start /usr/bin/python3";
    return;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "pyftpd_server.py ended at once (is python3-pyftpdlib installed?)";
      return;
    }
    if (Accepts(port_)) {
      ok_ = true;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  error_ = "pyftpd_server.py did not accept connections";
}

PyFtpdServer::~PyFtpdServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace wexmoor::testing
