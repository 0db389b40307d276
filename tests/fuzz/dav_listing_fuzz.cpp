// WebDAV multistatus answers (PROPFIND) and their hrefs on any bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "webdav/dav_listing.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto listing = ParseMultistatus(bytes)) {
    if (listing->entries.size() > kMaxDavEntries) std::abort();
    for (const DavEntry& entry : listing->entries) {
      if (entry.length < -1) std::abort();
      (void)DavLastName(entry.path);
    }
  }
  if (DavHrefPath(bytes).size() > size) std::abort();
  return 0;
}
