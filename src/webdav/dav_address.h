// Where a WebDAV server's record points: scheme, host, port and the folder
// path below which uploads go, and the URLs of names there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/server_table.h"

namespace wexmoor {

struct DavEndpoint {
  bool tls = true;
  std::string host;  // as in a URL: a name, an IPv4 address or "[v6]"
  int port = 443;
  std::string basePath = "/";  // UTF-8, begins and ends with "/"

  // "https://host:port"
  std::string Origin() const;
  // The URL of `path` (UTF-8, absolute, not encoded yet).
  std::string Url(std::string_view path) const;
};

// The record's endpoint: protocol 5 HTTPS, 6 HTTP; port 0 or 21 means the
// scheme's own (443, 80).
DavEndpoint DavEndpointFor(const ServerRecord& record);

// Each byte outside the unreserved set and "/" as %XX.
std::string PercentEncodePath(std::string_view path);

// Whether `host` is a loopback or private address (or "localhost"): only
// there may a password go by Basic authentication over plain HTTP.
bool IsLocalNetworkHost(std::string_view host);

// "/a/b/" + "c d" -> "/a/b/c d"; `folder` ends with "/".
std::string JoinDavPath(std::string_view folder, std::string_view name);

}  // namespace wexmoor
