#include "peers/unpacked_server.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "peers/loopback_port.h"
#include "peers/test_paths.h"

extern char** environ;

namespace wexmoor::testing {

std::string UnpackedServersRoot() { return SourceDir() + "/tests/peers/unpacked/root"; }

bool StartUnpackedServer(const std::vector<std::string>& args, int port, pid_t& pid, std::string& error) {
  pid = -1;
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string(*e).rfind("LD_LIBRARY_PATH=", 0) != 0) env.emplace_back(*e);
  env.push_back("LD_LIBRARY_PATH=" + UnpackedServersRoot() + "/usr/lib/x86_64-linux-gnu");
  std::vector<char*> envp, argv;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> command = args;
  for (auto& a : command) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) {
    pid = -1;
    error = args[0] + " did not start";
    return false;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end) {
    if (LoopbackAnswers(port, "220")) return true;
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      pid = -1;
      error = args[0] + " ended at once";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  error = args[0] + " did not greet";
  return false;
}

void StopUnpackedServer(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

int RunQuietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

}  // namespace wexmoor::testing
