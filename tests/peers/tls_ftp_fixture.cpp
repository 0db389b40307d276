#include "peers/tls_ftp_fixture.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace wexmoor::testing {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

TlsFtpPeer::TlsFtpPeer(TlsPeerOptions options) {
  std::vector<std::string> args = {"/usr/bin/python3", SourceDir() + "/tests/peers/tls_ftp_server.py",
                                   "--kind", options.kind, "--work", work_.path(), "--address", options.address};
  if (options.implicit) args.push_back("--implicit");
  if (options.relay) args.push_back("--relay");
  if (options.plain) args.push_back("--plain");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    pid_ = -1;
    error_ = "could not start /usr/bin/python3";
    return;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < end) {
    if (Exists(work_.File("failed"))) {
      error_ = "tls_ftp_server.py: " + ReadAll(work_.File("failed"));
      return;
    }
    if (Exists(work_.File("ready"))) {
      std::istringstream lines(ReadAll(work_.File("ready")));
      std::string line;
      while (std::getline(lines, line)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "port") port_ = std::stoi(value);
        if (key == "user") user_ = value;
        if (key == "password") password_ = value;
        if (key == "root") root_ = value;
        if (key == "fingerprint") fingerprint_ = value;
        if (key == "cert") cert_ = value;
      }
      ok_ = port_ > 0;
      if (!ok_) error_ = "no port in the ready file";
      return;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "tls_ftp_server.py ended at once";
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  error_ = "the TLS server did not get ready";
}

TlsFtpPeer::~TlsFtpPeer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
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

std::string TlsFtpPeer::ClientBytes() const { return ReadAll(work_.File("client-bytes")); }
std::string TlsFtpPeer::ServerLog() const { return ReadAll(work_.File("server.log")); }

}  // namespace wexmoor::testing
