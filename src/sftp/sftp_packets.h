// The SFTP (version 3) wire format: building requests and taking the server's
// packets apart. Everything here is pure byte work, so the parts that read
// what a server sends are bounded and can be fed anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wexmoor::sftp {

enum PacketType : std::uint8_t {
  kInit = 1, kVersion = 2, kOpen = 3, kClose = 4, kWrite = 6, kLstat = 7, kOpendir = 11,
  kReaddir = 12, kRemove = 13, kMkdir = 14, kRealpath = 16, kStat = 17, kRename = 18, kSetstat = 9,
  kStatus = 101, kHandle = 102, kData = 103, kName = 104, kAttrs = 105,
  kExtended = 200, kExtendedReply = 201,
};

enum StatusCode : std::uint32_t {
  kOk = 0, kEof = 1, kNoSuchFile = 2, kPermissionDenied = 3, kFailure = 4, kBadMessage = 5,
  kNoConnection = 6, kConnectionLost = 7, kOpUnsupported = 8,
};

// Open flags.
constexpr std::uint32_t kOpenWrite = 0x02, kOpenCreate = 0x08, kOpenTruncate = 0x10;

// Attribute flags.
constexpr std::uint32_t kAttrSize = 0x01, kAttrUidGid = 0x02, kAttrPermissions = 0x04,
                        kAttrTimes = 0x08, kAttrExtended = 0x80000000u;

// The largest packet taken from a server (OpenSSH's own limit is 256 KiB).
constexpr std::uint32_t kMaxPacket = 256 * 1024 + 1024;
// Names and texts inside a packet are cut at this length when shown.
constexpr std::size_t kMaxShownText = 200;

struct FileAttributes {
  bool hasSize = false;
  std::uint64_t size = 0;
  bool hasPermissions = false;
  std::uint32_t permissions = 0;
  std::uint32_t modified = 0;
  bool IsFolder() const { return hasPermissions && (permissions & 0170000u) == 0040000u; }
};

struct NameEntry {
  std::string name;
  std::string longName;
  FileAttributes attributes;
};

// One packet from the server, taken apart by its type.
struct Reply {
  std::uint8_t type = 0;
  std::uint32_t id = 0;
  std::uint32_t status = 0;  // kStatus
  std::string message;       // kStatus
  std::string handle;        // kHandle
  std::vector<NameEntry> names;  // kName
  FileAttributes attributes;     // kAttrs
};

struct VersionInfo {
  std::uint32_t version = 0;
  std::vector<std::pair<std::string, std::string>> extensions;
  bool Offers(std::string_view name) const;
};

// Request builders: the whole packet, length prefix included.
std::string InitPacket();
std::string PathPacket(PacketType type, std::uint32_t id, std::string_view path);
std::string HandlePacket(PacketType type, std::uint32_t id, std::string_view handle);
std::string OpenPacket(std::uint32_t id, std::string_view path, std::uint32_t flags);
std::string MkdirPacket(std::uint32_t id, std::string_view path, std::uint32_t permissions);
std::string RenamePacket(std::uint32_t id, std::string_view from, std::string_view to);
// SETSTAT of the access and modification times (seconds since the epoch).
std::string SetTimesPacket(std::uint32_t id, std::string_view path, std::uint32_t accessed, std::uint32_t modified);
std::string PosixRenamePacket(std::uint32_t id, std::string_view from, std::string_view to);
// Appends a WRITE request to `out` without building a temporary.
void AppendWritePacket(std::string& out, std::uint32_t id, std::string_view handle,
                       std::uint64_t offset, std::string_view data);

// Takes apart one packet body (without its length prefix). False when the
// body is short, lies about its lengths, or is not a packet a client expects.
bool ParseReply(std::string_view body, Reply& out);
bool ParseVersion(std::string_view body, VersionInfo& out);

// Splits a byte stream into packet bodies.
class PacketAssembler {
 public:
  void Feed(std::string_view bytes) { buffer_.append(bytes); }
  // 1: `body` holds the next packet; 0: more bytes needed; -1: a length
  // beyond kMaxPacket (or zero), after which the stream cannot be trusted.
  int Next(std::string& body);
  std::size_t Buffered() const { return buffer_.size() - start_; }

 private:
  std::string buffer_;
  std::size_t start_ = 0;
};

// A text from the server, for a log line: control characters become "?",
// cut at kMaxShownText bytes.
std::string ShownText(std::string_view bytes);
// "OK", "No such file", ... for a status code.
std::string StatusName(std::uint32_t status);

}  // namespace wexmoor::sftp
