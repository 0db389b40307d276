#include "peers/vsftpd_fixture.h"

#include "peers/loopback_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace wexmoor::testing {
namespace {

int Run(const std::vector<std::string>& command, const std::string& input = {}) {
  std::string line;
  for (const auto& part : command) line += "'" + part + "' ";
  if (!input.empty()) line = "printf '%s\\n' '" + input + "' | " + line;
  return std::system((line + ">/dev/null 2>&1").c_str());
}

}  // namespace

VsftpdServer::VsftpdServer(std::string root) : root_(std::move(root)) {
  if (geteuid() != 0 || access("/usr/sbin/vsftpd", X_OK) != 0) {
    error_ = "vsftpd needs root and /usr/sbin/vsftpd";
    return;
  }
  port_ = FreeLoopbackPort();
  const int low = port_ < 64000 ? port_ + 1 : 60000;
  user_ = "wxtest" + std::to_string(getpid() % 100000);
  password_ = "pw" + std::to_string(getpid()) + "x";
  if (Run({"useradd", "-M", "-d", root_, "-s", "/bin/sh", user_}) != 0) {
    error_ = "useradd failed";
    return;
  }
  userMade_ = true;
  Run({"chpasswd"}, user_ + ":" + password_);
  Run({"chown", user_, root_});
  chmod(std::filesystem::path(root_).parent_path().c_str(), 0755);
  std::filesystem::create_directories("/var/run/vsftpd/empty");
  work_ = root_ + ".vsftpd";
  std::filesystem::create_directories(work_);
  const std::string config = work_ + "/vsftpd.conf";
  std::ofstream(config) << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port_
                        << "\nbackground=NO\nanonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nutf8_filesystem=YES\n"
                           "local_umask=022\nlocal_root="
                        << root_ << "\nchroot_local_user=NO\npasv_enable=YES\npasv_min_port=" << low
                        << "\npasv_max_port=" << low + 200
                        << "\npasv_address=127.0.0.1\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                           "pam_service_name=vsftpd\nuserlist_enable=NO\ncheck_shell=NO\ndirmessage_enable=NO\n"
                           "xferlog_enable=YES\nxferlog_std_format=NO\nvsftpd_log_file="
                        << work_ << "/transfers.log\nsecure_chroot_dir=/var/run/vsftpd/empty\n"
                           "max_clients=200\nmax_per_ip=200\ndelay_failed_login=0\ndelay_successful_login=0\n";
  chmod(config.c_str(), 0600);
  std::vector<std::string> args = {"/usr/sbin/vsftpd", config};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    pid_ = -1;
    error_ = "vsftpd did not start";
    return;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end && !ok_) {
    ok_ = LoopbackAnswers(port_, "220");
    if (!ok_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!ok_) error_ = "vsftpd did not greet";
}

VsftpdServer::~VsftpdServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (userMade_) Run({"userdel", user_});
  if (!work_.empty()) std::filesystem::remove_all(work_);
}

int VsftpdServer::StoreCount(const std::string& path) const {
  std::ifstream log(work_ + "/transfers.log");
  std::string line;
  int count = 0;
  const std::string quoted = "\"" + path + "\"";
  while (std::getline(log, line))
    if (line.find("OK UPLOAD") != std::string::npos && line.find(quoted) != std::string::npos) ++count;
  return count;
}

}  // namespace wexmoor::testing
