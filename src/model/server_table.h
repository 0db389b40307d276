// The configured FTP servers: 51 slots, slot 0 never used, the first empty name
// ends the list. Shared by the window's thread and the upload worker; every
// access is one short step under the table's own mutex.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/text.h"

namespace wexmoor {

struct ServerRecord {
  Text name;
  Text address;
  Text login;
  Text password;
  std::int32_t port = 21;
  std::int32_t active = 0;
  std::int32_t ipRouter = 0;
  std::int32_t useUtf8 = 0;
  std::int32_t useUtf8Opt = 0;
  std::int32_t timeOut = 0;
  // Non-zero: files are stored as name + ".part" and renamed when complete
  // ("ServerTempName"); 0: stored under the final name directly.
  std::int32_t tempName = 1;
  // How many upload sessions may work for this server at once
  // ("ServerConnections<n>"); see UploadConnections().
  std::int32_t connections = kDefaultConnections;
  // KiB/s shared by this server's sessions; 0: none ("ServerUploadLimitKiB<n>").
  std::int32_t uploadLimitKiB = 0;
  // 0 plain FTP, 1 FTP with explicit TLS when offered, 2 FTP requiring
  // explicit TLS, 3 FTP over implicit TLS, 4 SFTP, 5 WebDAV over HTTPS,
  // 6 WebDAV over plain HTTP ("ServerProtocol<n>").
  std::int32_t protocol = 0;
  // SHA-256 fingerprint of the certificate the user trusted ("AA:BB:..."),
  // or the SSH host key's "SHA256:..." form; "" when none ("ServerFingerprint<n>").
  Text fingerprint;
  // The web address that serves the server's folder ("https://host/files");
  // "" when none ("ServerWebAddress<n>").
  Text webAddress;
  // 1: check what the server offers (its hash of the file); 0: the size
  // only ("ServerVerify<n>").
  std::int32_t verify = 1;
  // FTP: 1 sends commands whose replies do not decide the next one in one
  // write and reads the replies in order; 0 one command at a time
  // ("ServerPipelining<n>").
  std::int32_t pipelining = 1;

  static constexpr std::int32_t kDefaultConnections = 2;
  static constexpr std::int32_t kMaxConnections = 10;

  bool operator==(const ServerRecord&) const = default;
};

// Values of `protocol`.
enum ServerProtocol : std::int32_t {
  kProtocolPlain = 0,
  kProtocolTlsIfOffered = 1,
  kProtocolTlsRequired = 2,
  kProtocolImplicitTls = 3,
  kProtocolSftp = 4,
  kProtocolWebDavHttps = 5,
  kProtocolWebDavHttp = 6,
  kProtocolLast = kProtocolWebDavHttp,
};

// WebDAV over HTTPS or HTTP.
inline bool IsWebDav(std::int32_t protocol) {
  return protocol == kProtocolWebDavHttps || protocol == kProtocolWebDavHttp;
}

// A server address: the host up to the first "/" (or "\\"), then the folder
// path. "host\dir\sub" -> host, "dir/sub/"; "host/" -> host, "";
// "host//dir" -> host, "/dir/" (rooted). Both engines split it so.
struct ServerAddressParts {
  Text host;
  Text folderPath;  // empty, or folder names each followed by "/"
};
ServerAddressParts SplitServerAddress(TextView address);

// The record's connection count when it is 1 to 10, else the default 2.
int UploadConnections(const ServerRecord& record);

class ServerTable {
 public:
  static constexpr int kSlots = 51;
  static constexpr int kMaxServers = 50;

  ServerTable();

  // A copy of slot `slot` (an empty record outside 1..50).
  ServerRecord Get(int slot) const;
  // Replaces slot `slot` (ignored outside 1..50).
  void Set(int slot, const ServerRecord& record);
  // Scan from slot 1 while the slot's name is neither empty nor `name`;
  // returns the slot where the scan stopped (51 after a full table).
  int FindServer(TextView name) const;
  // Number of configured servers (slots before the first empty name).
  int Count() const;
  // Names of slots 1, 2, ... up to the first empty name.
  std::vector<Text> Names() const;
  // Moves every record after `slot` down by one slot, until an empty name
  // has been copied.
  void DeleteServer(int slot);
  // Empties every slot.
  void Clear();
  // Grows with every change (set, delete, clear); read without the lock.
  std::uint64_t Changes() const { return changes_.load(); }

 private:
  mutable std::mutex mutex_;
  std::array<ServerRecord, kSlots> slots_;
  std::atomic<std::uint64_t> changes_{0};
};

}  // namespace wexmoor
