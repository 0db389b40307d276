#include "peers/pyftpd_fixture.h"

#include "peers/loopback_port.h"

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

PyFtpdServer::PyFtpdServer(std::string root, std::string user, std::string password, std::string storLog)
    : root_(std::move(root)), user_(std::move(user)), password_(std::move(password)) {
  std::vector<std::string> extra;
  if (!storLog.empty()) extra = {"--stor-log", std::move(storLog)};
  Launch(0, extra);
}

PyFtpdServer::PyFtpdServer(std::string root, const PyFtpdOptions& options)
    : root_(std::move(root)),
      user_(options.user.empty() ? "user" : options.user),
      password_(options.password.empty() ? "secret" : options.password) {
  Launch(options.port, options.extra, options.script);
}

void PyFtpdServer::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

void PyFtpdServer::Kill(int signal) {
  if (pid_ <= 0) return;
  kill(pid_, signal);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  ok_ = false;
}

void PyFtpdServer::Launch(int port, const std::vector<std::string>& extra, const std::string& scriptPath) {
  port_ = port != 0 ? port : FreeLoopbackPort();
  if (port_ == 0) {
    error_ = "no free port";
    return;
  }
  const int passiveLow = port_ < 65000 ? port_ + 1 : 60000;
  const int passiveHigh = passiveLow + 40;
  const std::string script = scriptPath.empty() ? SourceDir() + "/tests/peers/pyftpd_server.py" : scriptPath;
  std::vector<std::string> args = {"/usr/bin/python3", script,       "--root",        root_,
                                   "--port",           std::to_string(port_), "--user", user_,
                                   "--password",       password_,    "--passive-low", std::to_string(passiveLow),
                                   "--passive-high",   std::to_string(passiveHigh)};
  args.insert(args.end(), extra.begin(), extra.end());
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
      error_ = script + " ended at once (is its server installed?)";
      return;
    }
    if (LoopbackAnswers(port_)) {
      ok_ = true;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  error_ = script + " did not accept connections";
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
