#include "sftp/sftp_packets.h"

#include <cstring>

namespace wexmoor::sftp {
namespace {

void PutU32(std::string& out, std::uint32_t v) {
  const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                     static_cast<char>(v)};
  out.append(b, 4);
}

void PutU64(std::string& out, std::uint64_t v) {
  PutU32(out, static_cast<std::uint32_t>(v >> 32));
  PutU32(out, static_cast<std::uint32_t>(v));
}

void PutString(std::string& out, std::string_view s) {
  PutU32(out, static_cast<std::uint32_t>(s.size()));
  out.append(s);
}

// Starts a packet in `out` (length filled in by Finish).
std::size_t Begin(std::string& out, std::uint8_t type) {
  const std::size_t at = out.size();
  PutU32(out, 0);
  out.push_back(static_cast<char>(type));
  return at;
}

void Finish(std::string& out, std::size_t at) {
  const auto length = static_cast<std::uint32_t>(out.size() - at - 4);
  std::string prefix;
  PutU32(prefix, length);
  std::memcpy(out.data() + at, prefix.data(), 4);
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool U8(std::uint8_t& v) {
    if (bytes_.size() < 1) return false;
    v = static_cast<std::uint8_t>(bytes_[0]);
    bytes_.remove_prefix(1);
    return true;
  }
  bool U32(std::uint32_t& v) {
    if (bytes_.size() < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<std::uint8_t>(bytes_[i]);
    bytes_.remove_prefix(4);
    return true;
  }
  bool U64(std::uint64_t& v) {
    std::uint32_t high = 0, low = 0;
    if (!U32(high) || !U32(low)) return false;
    v = (static_cast<std::uint64_t>(high) << 32) | low;
    return true;
  }
  bool String(std::string& s) {
    std::uint32_t length = 0;
    if (!U32(length) || length > bytes_.size()) return false;
    s.assign(bytes_.substr(0, length));
    bytes_.remove_prefix(length);
    return true;
  }
  bool Skip(std::size_t n) {
    if (n > bytes_.size()) return false;
    bytes_.remove_prefix(n);
    return true;
  }
  std::size_t Left() const { return bytes_.size(); }

 private:
  std::string_view bytes_;
};

bool ReadAttributes(Reader& in, FileAttributes& a) {
  std::uint32_t flags = 0;
  if (!in.U32(flags)) return false;
  if ((flags & kAttrSize) != 0) {
    if (!in.U64(a.size)) return false;
    a.hasSize = true;
  }
  if ((flags & kAttrUidGid) != 0 && !in.Skip(8)) return false;
  if ((flags & kAttrPermissions) != 0) {
    if (!in.U32(a.permissions)) return false;
    a.hasPermissions = true;
  }
  if ((flags & kAttrTimes) != 0) {
    std::uint32_t accessed = 0;
    if (!in.U32(accessed) || !in.U32(a.modified)) return false;
  }
  if ((flags & kAttrExtended) != 0) {
    std::uint32_t count = 0;
    if (!in.U32(count)) return false;
    std::string ignored;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!in.String(ignored) || !in.String(ignored)) return false;
    }
  }
  return true;
}

}  // namespace

bool VersionInfo::Offers(std::string_view name) const {
  for (const auto& [extension, data] : extensions) {
    if (extension == name) return true;
  }
  return false;
}

std::string InitPacket() {
  std::string out;
  const std::size_t at = Begin(out, kInit);
  PutU32(out, 3);
  Finish(out, at);
  return out;
}

std::string PathPacket(PacketType type, std::uint32_t id, std::string_view path) {
  std::string out;
  const std::size_t at = Begin(out, type);
  PutU32(out, id);
  PutString(out, path);
  Finish(out, at);
  return out;
}

std::string HandlePacket(PacketType type, std::uint32_t id, std::string_view handle) {
  return PathPacket(type, id, handle);
}

std::string OpenPacket(std::uint32_t id, std::string_view path, std::uint32_t flags) {
  std::string out;
  const std::size_t at = Begin(out, kOpen);
  PutU32(out, id);
  PutString(out, path);
  PutU32(out, flags);
  PutU32(out, kAttrPermissions);
  PutU32(out, 0644);
  Finish(out, at);
  return out;
}

std::string MkdirPacket(std::uint32_t id, std::string_view path, std::uint32_t permissions) {
  std::string out;
  const std::size_t at = Begin(out, kMkdir);
  PutU32(out, id);
  PutString(out, path);
  PutU32(out, kAttrPermissions);
  PutU32(out, permissions);
  Finish(out, at);
  return out;
}

std::string RenamePacket(std::uint32_t id, std::string_view from, std::string_view to) {
  std::string out;
  const std::size_t at = Begin(out, kRename);
  PutU32(out, id);
  PutString(out, from);
  PutString(out, to);
  Finish(out, at);
  return out;
}

std::string SetTimesPacket(std::uint32_t id, std::string_view path, std::uint32_t accessed, std::uint32_t modified) {
  std::string out;
  const std::size_t at = Begin(out, kSetstat);
  PutU32(out, id);
  PutString(out, path);
  PutU32(out, kAttrTimes);
  PutU32(out, accessed);
  PutU32(out, modified);
  Finish(out, at);
  return out;
}

std::string PosixRenamePacket(std::uint32_t id, std::string_view from, std::string_view to) {
  std::string out;
  const std::size_t at = Begin(out, kExtended);
  PutU32(out, id);
  PutString(out, "posix-rename@openssh.com");
  PutString(out, from);
  PutString(out, to);
  Finish(out, at);
  return out;
}

void AppendWritePacket(std::string& out, std::uint32_t id, std::string_view handle, std::uint64_t offset,
                       std::string_view data) {
  const std::size_t at = Begin(out, kWrite);
  PutU32(out, id);
  PutString(out, handle);
  PutU64(out, offset);
  PutString(out, data);
  Finish(out, at);
}

bool ParseReply(std::string_view body, Reply& out) {
  out = Reply{};
  Reader in(body);
  if (!in.U8(out.type) || !in.U32(out.id)) return false;
  switch (out.type) {
    case kStatus: {
      if (!in.U32(out.status)) return false;
      // Version 3 servers add a message and a language tag; older ones may not.
      std::string language;
      if (in.Left() > 0 && (!in.String(out.message) || !in.String(language))) return false;
      return true;
    }
    case kHandle:
      return in.String(out.handle) && !out.handle.empty() && out.handle.size() <= 256;
    case kAttrs:
      return ReadAttributes(in, out.attributes);
    case kName: {
      std::uint32_t count = 0;
      if (!in.U32(count)) return false;
      // Each entry takes at least 12 bytes: a count beyond that is a lie.
      if (count > in.Left() / 12) return false;
      out.names.reserve(count);
      for (std::uint32_t i = 0; i < count; ++i) {
        NameEntry entry;
        if (!in.String(entry.name) || !in.String(entry.longName) || !ReadAttributes(in, entry.attributes)) {
          return false;
        }
        out.names.push_back(std::move(entry));
      }
      return true;
    }
    case kData:
    case kExtendedReply:
      return true;
    default:
      return false;
  }
}

bool ParseVersion(std::string_view body, VersionInfo& out) {
  out = VersionInfo{};
  Reader in(body);
  std::uint8_t type = 0;
  if (!in.U8(type) || type != kVersion || !in.U32(out.version)) return false;
  while (in.Left() > 0) {
    std::string name, data;
    if (!in.String(name) || !in.String(data)) return false;
    if (out.extensions.size() < 64) out.extensions.emplace_back(std::move(name), std::move(data));
  }
  return true;
}

int PacketAssembler::Next(std::string& body) {
  if (Buffered() < 4) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(buffer_.data() + start_);
  const std::uint32_t length = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                               (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
  if (length == 0 || length > kMaxPacket) return -1;
  if (Buffered() - 4 < length) return 0;
  body.assign(buffer_, start_ + 4, length);
  start_ += 4 + length;
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  } else if (start_ > 64 * 1024) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  return 1;
}

std::string ShownText(std::string_view bytes) {
  std::string out(bytes.substr(0, kMaxShownText));
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return out;
}

std::string StatusName(std::uint32_t status) {
  switch (status) {
    case kOk: return "OK";
    case kEof: return "End of file";
    case kNoSuchFile: return "No such file";
    case kPermissionDenied: return "Permission denied";
    case kFailure: return "Failure";
    case kBadMessage: return "Bad message";
    case kNoConnection: return "No connection";
    case kConnectionLost: return "Connection lost";
    case kOpUnsupported: return "Operation unsupported";
    default: return "Status " + std::to_string(status);
  }
}

}  // namespace wexmoor::sftp
