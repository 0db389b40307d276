#include "spooler/web_link.h"

#include "platform/code_page.h"

namespace wexmoor {

Text PercentEncodeSegment(TextView segment) {
  static constexpr char kHex[] = "0123456789ABCDEF";
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
    std::size_t end = pathBelowFolder.find_first_of(u"/\\", from);
    if (end == TextView::npos) end = pathBelowFolder.size();
    if (end > from) link += u"/" + PercentEncodeSegment(pathBelowFolder.substr(from, end - from));
    from = end + 1;
  }
  return link;
}

}  // namespace wexmoor
