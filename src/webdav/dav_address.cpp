#include "webdav/dav_address.h"

#include <arpa/inet.h>

#include <cstdio>

#include "platform/code_page.h"

namespace wexmoor {

std::string DavEndpoint::Origin() const {
  const bool ownPort = (tls && port == 443) || (!tls && port == 80);
  // Appended piece by piece (GCC 12 at -O3 warns about "a" + b + c here).
  std::string out = tls ? "https://" : "http://";
  out += host;
  if (!ownPort) {
    out += ':';
    out += std::to_string(port);
  }
  return out;
}

std::string DavEndpoint::Url(std::string_view path) const { return Origin() + PercentEncodePath(path); }

DavEndpoint DavEndpointFor(const ServerRecord& record) {
  DavEndpoint endpoint;
  endpoint.tls = record.protocol != kProtocolWebDavHttp;
  endpoint.port = record.port == 0 || record.port == 21 ? (endpoint.tls ? 443 : 80) : record.port;
  const ServerAddressParts parts = SplitServerAddress(record.address);
  endpoint.host = Utf16ToUtf8(parts.host);
  // A bare IPv6 address gets its brackets.
  if (endpoint.host.find(':') != std::string::npos && endpoint.host.front() != '[') {
    endpoint.host = "[" + endpoint.host + "]";
  }
  std::string folder = Utf16ToUtf8(parts.folderPath);
  while (!folder.empty() && folder.front() == '/') folder.erase(0, 1);
  endpoint.basePath = "/" + folder;
  return endpoint;
}

std::string PercentEncodePath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (const char c : path) {
    const auto b = static_cast<unsigned char>(c);
    const bool plain = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' ||
                       b == '.' || b == '_' || b == '~' || b == '/';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

bool IsLocalNetworkHost(std::string_view host) {
  if (host == "localhost") return true;
  std::string bare(host);
  if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
  unsigned char v4[4];
  if (inet_pton(AF_INET, bare.c_str(), v4) == 1) {
    return v4[0] == 127 || v4[0] == 10 || (v4[0] == 172 && (v4[1] & 0xF0) == 16) ||
           (v4[0] == 192 && v4[1] == 168) || (v4[0] == 169 && v4[1] == 254);
  }
  unsigned char v6[16];
  if (inet_pton(AF_INET6, bare.c_str(), v6) == 1) {
    bool loopback = v6[15] == 1;
    for (int i = 0; i < 15; ++i) loopback = loopback && v6[i] == 0;
    return loopback || (v6[0] & 0xFE) == 0xFC || (v6[0] == 0xFE && (v6[1] & 0xC0) == 0x80);
  }
  return false;
}

std::string JoinDavPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (out.empty() || out.back() != '/') out += '/';
  out += name;
  return out;
}

}  // namespace wexmoor
