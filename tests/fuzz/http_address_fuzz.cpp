// Address preparation of web requests on any text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "http/http_request.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Text url;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    url.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  HttpAddress a = PrepareHttpAddress(url);
  if (a.host.find(u'/') != Text::npos) std::abort();
  if (!a.path.empty() && a.path[0] != u'/' && a.path[0] != u'\\') std::abort();
  return 0;
}
