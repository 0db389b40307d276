#include "peers/proftpd_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "peers/loopback_port.h"
#include "peers/unpacked_server.h"

namespace wexmoor::testing {

ProftpdServer::ProftpdServer(std::string root) : root_(std::move(root)) {
  const std::string unpacked = UnpackedServersRoot();
  if (geteuid() != 0 || access((unpacked + "/usr/sbin/proftpd").c_str(), X_OK) != 0) {
    error_ = "ProFTPD needs root and scripts/fetch-peer-servers.sh";
    return;
  }
  work_ = root_ + ".proftpd";
  std::filesystem::create_directories(work_);
  // The password file: root's uid, a SHA-512 crypt of the password.
  const std::string hashFile = work_ + "/hash";
  if (RunQuietly("openssl passwd -6 '" + password_ + "' > '" + hashFile + "'") != 0) {
    error_ = "openssl passwd failed";
    return;
  }
  std::string hash;
  std::getline(std::ifstream(hashFile), hash);
  const std::string passwd = work_ + "/passwd";
  std::ofstream(passwd) << user_ << ":" << hash << ":0:0::" << root_ << ":/bin/sh\n";
  chmod(passwd.c_str(), 0600);
  port_ = FreeLoopbackPort();
  const int low = port_ < 64000 ? port_ + 1 : 60000;
  const std::string config = work_ + "/proftpd.conf";
  std::ofstream(config) << "ServerType standalone\nServerName \"wexmoor test\"\nDefaultAddress 127.0.0.1\n"
                           "SocketBindTight on\nUseIPv6 off\nPort "
                        << port_ << "\nUser root\nGroup root\nRootLogin on\nAuthOrder mod_auth_file.c\nAuthUserFile "
                        << passwd << "\nRequireValidShell off\nWtmpLog off\nUseReverseDNS off\nDelayTable none\n"
                        << "ScoreboardFile " << work_ << "/scoreboard\nPidFile " << work_ << "/pid\n"
                        << "TransferLog none\nSystemLog " << work_ << "/system.log\nPassivePorts " << low << " "
                        << low + 200 << "\nMaxInstances 100\nUmask 022\nModulePath " << unpacked
                        << "/usr/lib/proftpd\nLoadModule mod_digest.c\n"
                           "<IfModule mod_digest.c>\n  DigestEngine on\n  DigestAlgorithms crc32 md5 sha1 sha256\n"
                           "</IfModule>\n<Directory />\n  AllowOverwrite on\n</Directory>\n";
  chmod(config.c_str(), 0600);
  ok_ = StartUnpackedServer({unpacked + "/usr/sbin/proftpd", "-n", "-q", "-c", config}, port_, pid_, error_);
}

ProftpdServer::~ProftpdServer() {
  StopUnpackedServer(pid_);
  if (!work_.empty()) std::filesystem::remove_all(work_);
}

}  // namespace wexmoor::testing
