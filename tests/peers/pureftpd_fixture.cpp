#include "peers/pureftpd_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "peers/loopback_port.h"
#include "peers/unpacked_server.h"

namespace wexmoor::testing {

PureFtpdServer::PureFtpdServer(std::string root) : root_(std::move(root)) {
  const std::string unpacked = UnpackedServersRoot();
  if (geteuid() != 0 || access((unpacked + "/usr/sbin/pure-ftpd").c_str(), X_OK) != 0) {
    error_ = "pure-ftpd needs root and scripts/fetch-peer-servers.sh";
    return;
  }
  work_ = root_ + ".pureftpd";
  std::filesystem::create_directories(work_);
  // The virtual user runs as "nobody": the home is given to it, the folders
  // above it must let it through.
  constexpr int kNobody = 65534;
  if (chown(root_.c_str(), kNobody, kNobody) != 0) {
    error_ = "cannot give the root folder to nobody";
    return;
  }
  chmod(std::filesystem::path(root_).parent_path().c_str(), 0755);
  const std::string db = work_ + "/pureftpd.pdb";
  const std::string command = "printf '%s\\n%s\\n' '" + password_ + "' '" + password_ + "' | '" + unpacked +
                              "/usr/bin/pure-pw' useradd " + user_ + " -u 65534 -g 65534 -d '" + root_ + "' -f '" +
                              work_ + "/pureftpd.passwd' -m -F '" + db + "'";
  if (RunQuietly(command) != 0) {
    error_ = "pure-pw failed";
    return;
  }
  port_ = FreeLoopbackPort();
  const int low = port_ < 64000 ? port_ + 1 : 60000;
  ok_ = StartUnpackedServer({unpacked + "/usr/sbin/pure-ftpd", "-S", "127.0.0.1," + std::to_string(port_), "-l",
                             "puredb:" + db, "-E", "-H", "-p", std::to_string(low) + ":" + std::to_string(low + 200),
                             "-P", "127.0.0.1", "-c", "100", "-C", "100"},
                            port_, pid_, error_);
}

PureFtpdServer::~PureFtpdServer() {
  StopUnpackedServer(pid_);
  if (!work_.empty()) std::filesystem::remove_all(work_);
}

}  // namespace wexmoor::testing
