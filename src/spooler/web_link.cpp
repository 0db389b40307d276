#include "spooler/web_link.h"

#include "platform/code_page.h"

namespace wexmoor {
namespace {
constexpr char kHex[] = "0123456789ABCDEF";
}  // namespace

Text PercentEncodeSegment(TextView segment) {
  Text out;
  for (const unsigned char c : Utf16ToUtf8(segment)) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~';
    if (plain) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(u'%');
      out.push_back(static_cast<char16_t>(kHex[c >> 4]));
      out.push_back(static_cast<char16_t>(kHex[c & 15]));
    }
  }
  return out;
}

Text WebLink(TextView webAddress, TextView pathBelowFolder) {
  Text link = TrimBlanks(webAddress);
  if (link.empty()) return {};
  while (!link.empty() && link.back() == u'/') link.pop_back();
  std::size_t from = 0;
  while (from <= pathBelowFolder.size()) {
    // Only "/" separates: a backslash is part of a name on the server.
    std::size_t end = pathBelowFolder.find(u'/', from);
    if (end == TextView::npos) end = pathBelowFolder.size();
    if (end > from) {
      // Appended piece by piece: GCC 12 gives a false -Werror=restrict for
      // literal + string at -O3.
      link.push_back(u'/');
      link += PercentEncodeSegment(pathBelowFolder.substr(from, end - from));
    }
    from = end + 1;
  }
  return link;
}

}  // namespace wexmoor
