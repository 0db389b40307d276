#include "ftp/listing_parser.h"

namespace wexmoor {
namespace {

// "public" in any letter case becomes "ftp ftp"; runs of spaces shrink (each
// pair to one, twice over).
Text CleanUp(TextView text) {
  Text out;
  out.reserve(text.size() + text.size() / 6 * 2);
  std::size_t i = 0;
  while (i < text.size()) {
    if (i + 6 <= text.size() && EqualsIgnoreAsciiCase(text.substr(i, 6), u"public")) {
      out += u"ftp ftp";
      i += 6;
    } else {
      out += text[i++];
    }
  }
  out = ReplaceAll(out, u"  ", u" ");
  out = ReplaceAll(out, u"  ", u" ");
  return out;
}

bool IsLineEnd(char16_t c) { return c == u' ' || c == u'\r' || c == u'\n'; }

// The last word of the line text[begin, end).
Text LastWord(TextView text, std::size_t begin, std::size_t end) {
  while (end > begin && IsLineEnd(text[end - 1])) --end;
  while (begin < end && text[begin] == u' ') ++begin;
  const TextView line = text.substr(begin, end - begin);
  const std::size_t space = line.rfind(u' ');
  return Text(space == TextView::npos ? line : line.substr(space + 1));
}

}  // namespace

Text ParseListLine(TextView text, Text& name) {
  const Text clean = TrimSpaces(CleanUp(text));
  const std::size_t lf = clean.find(u'\n');
  const std::size_t end = lf == Text::npos ? clean.size() : lf;
  name = LastWord(clean, 0, end);
  return lf == Text::npos ? Text() : clean.substr(lf + 1);
}

// Line by line, which gives the names ParseListLine gives on the shrinking
// rest of the text, without cleaning that whole rest again for every line.
Text ParseListing(TextView text) {
  const Text clean = CleanUp(TrimSpaces(text));
  Text result;
  std::size_t begin = 0;
  while (begin < clean.size()) {
    std::size_t lf = clean.find(u'\n', begin);
    if (lf == Text::npos) lf = clean.size();
    const Text name = LastWord(clean, begin, lf);
    // A blank line gives no name.
    if (!name.empty() && name != u"." && name != u"..") {
      result += name;
      result += u'|';
    }
    begin = lf + 1;
  }
  return result;
}

}  // namespace wexmoor
