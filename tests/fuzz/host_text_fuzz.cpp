// The address field: host and folder split, then the host as a name, an IPv4
// address or an IPv6 literal in brackets ("[::1]/folder").
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ftp/control_connection.h"
#include "platform/code_page.h"
#include "platform/socket.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Text field = Utf8ToUtf16(std::string(reinterpret_cast<const char*>(data), size));
  const ServerAddressParts parts = SplitServerAddress(field);
  if (!parts.folderPath.empty() && parts.folderPath.back() != u'/') std::abort();
  const HostText host = ParseHostText(Utf16ToUtf8(parts.host));
  if (host.valid && (host.host.empty() || host.host.find_first_of("[] \t\r\n") != std::string::npos)) std::abort();
  if (host.ipv6Literal && !host.valid) std::abort();
  return 0;
}
