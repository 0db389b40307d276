// What a later start sends: any bytes parse; the server name holds no line
// break, every path taken is absolute and followed by "\r", and a request
// ("do:") carries no path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/code_page.h"
#include "program/instance_message.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  (void)HandOverMessageEnd(bytes, 0);
  const HandOverRequest request = ParseHandOverMessage(Utf8ToUtf16(bytes));
  if (request.server.find(u'\r') != Text::npos) std::abort();
  if (request.command != QueueCommand::kNone && !request.paths.empty()) std::abort();
  std::size_t start = 0;
  while (start < request.paths.size()) {
    const std::size_t end = request.paths.find(u'\r', start);
    if (end == Text::npos || end == start || request.paths[start] != u'/') std::abort();
    start = end + 1;
  }
  return 0;
}
