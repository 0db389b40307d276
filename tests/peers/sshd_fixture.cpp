#include "peers/sshd_fixture.h"

#include "peers/loopback_port.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace wexmoor::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string FirstTwoWords(const std::string& line) {
  std::istringstream words(line);
  std::string type, key;
  words >> type >> key;
  return type + " " + key;
}

}  // namespace

int RunTool(const std::vector<std::string>& args, std::string* out) {
  char outName[] = "/tmp/wexmoor-tool-XXXXXX";
  const int outFd = mkstemp(outName);
  if (outFd < 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, outFd, 2);
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(outFd);
  int result = -1;
  if (spawned == 0) {
    const auto end = Clock::now() + std::chrono::seconds(30);
    int status = 0;
    for (;;) {
      const pid_t r = waitpid(pid, &status, WNOHANG);
      if (r == pid) {
        result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        break;
      }
      if (Clock::now() > end) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  if (out != nullptr) *out = ReadFile(outName);
  unlink(outName);
  return result;
}

bool SshdServer::available() { return geteuid() == 0 && access("/usr/sbin/sshd", X_OK) == 0; }

SshdServer::SshdServer(bool keyboardInteractive) : SshdServer(keyboardInteractive, std::string()) {}

SshdServer::SshdServer(bool keyboardInteractive, const std::string& subsystemScript) {
  if (!available()) {
    error_ = "needs root and /usr/sbin/sshd";
    return;
  }
  folder_ = std::make_unique<TempFolder>();
  const std::string dir = folder_->path();
  chmod(dir.c_str(), 0755);
  static std::atomic<int> counter{0};
  user_ = "wxsftp" + std::to_string(getpid() % 100000) + "x" + std::to_string(counter++);
  password_ = "pw-" + user_ + "-Secret";
  home_ = dir + "/home";
  clientSsh_ = dir + "/client-ssh";
  fs::create_directories(home_);
  fs::create_directories(clientSsh_);
  std::string out;
  auto fail = [&](const std::string& what) {
    error_ = what + ": " + out;
    return;
  };
  if (RunTool({"useradd", "-M", "-N", "-d", home_, "-s", "/bin/sh", user_}, &out) != 0) { fail("useradd"); return; }
  userMade_ = true;
  if (RunTool({"sh", "-c", "echo '" + user_ + ":" + password_ + "' | chpasswd"}, &out) != 0) { fail("chpasswd"); return; }
  if (RunTool({"chown", user_, home_}, &out) != 0) { fail("chown"); return; }
  for (const char* key : {"host_key", "other_host_key"}) {
    if (RunTool({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "", "-f", dir + "/" + key}, &out) != 0) {
      { fail("ssh-keygen"); return; }
    }
  }
  if (RunTool({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "client", "-f", clientSsh_ + "/id_ed25519"},
              &out) != 0 ||
      RunTool({"ssh-keygen", "-q", "-t", "rsa", "-b", "2048", "-N", "", "-C", "other", "-f", clientSsh_ + "/id_rsa"},
              &out) != 0) {
    { fail("ssh-keygen"); return; }
  }
  WriteFile(dir + "/authorized_keys", ReadFile(clientSsh_ + "/id_ed25519.pub"));
  hostKeyPublic_ = FirstTwoWords(ReadFile(dir + "/host_key.pub"));
  otherKeyPublic_ = FirstTwoWords(ReadFile(dir + "/other_host_key.pub"));
  if (RunTool({"ssh-keygen", "-l", "-E", "sha256", "-f", dir + "/host_key.pub"}, &out) != 0) { fail("ssh-keygen -l"); return; }
  std::istringstream words(out);
  std::string bits;
  words >> bits >> fingerprint_;
  std::string subsystem = "internal-sftp";
  if (!subsystemScript.empty()) {
    // Where the user can read it.
    WriteFile(dir + "/subsystem.py", ReadFile(subsystemScript));
    chmod((dir + "/subsystem.py").c_str(), 0644);
    subsystem = "/usr/bin/python3 " + dir + "/subsystem.py " + home_;
  }
  port_ = FreeLoopbackPort();
  fs::create_directories("/run/sshd");
  WriteFile(dir + "/sshd_config",
            "Port " + std::to_string(port_) + "\nListenAddress 127.0.0.1\nHostKey " + dir + "/host_key\nPidFile " +
                dir + "/sshd.pid\n" +
                (keyboardInteractive ? "UsePAM yes\nPasswordAuthentication no\nKbdInteractiveAuthentication yes\n"
                                     : "UsePAM no\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\n") +
                "PubkeyAuthentication yes\nAuthorizedKeysFile " + dir + "/authorized_keys\nStrictModes no\n"
                "AllowUsers " + user_ + "\nSubsystem sftp " + subsystem + "\nLogLevel VERBOSE\n"
                "MaxStartups 100\nMaxSessions 100\nMaxAuthTries 10\n");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, (dir + "/sshd.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  std::vector<std::string> args = {"/usr/sbin/sshd", "-D", "-e", "-f", dir + "/sshd_config"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    pid_ = -1;
    error_ = "could not start sshd";
    return;
  }
  const auto end = Clock::now() + std::chrono::seconds(15);
  while (Clock::now() < end) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "sshd ended at once: " + ServerLog();
      return;
    }
    if (LoopbackAnswers(port_, "SSH-")) {
      ok_ = true;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  error_ = "sshd did not greet: " + ServerLog();
}

SshdServer::~SshdServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    const auto end = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() > end) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  if (userMade_) {
    // Sessions of the user that are still ending hold the account a moment.
    int i = 0;
    while (RunTool({"userdel", user_}) != 0 && ++i < 60) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (i == 60) RunTool({"userdel", "-f", user_});
  }
}

std::string SshdServer::KnownHostsLine(bool otherKey) const {
  return "[127.0.0.1]:" + std::to_string(port_) + " " + (otherKey ? otherKeyPublic_ : hostKeyPublic_) + "\n";
}

std::string SshdServer::ServerLog() const { return folder_ ? ReadFile(folder_->path() + "/sshd.log") : ""; }

}  // namespace wexmoor::testing
