#include "ftp/reply_assembler.h"

namespace wexmoor {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWithCode(std::string_view line) {
  return line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]);
}

// "ddd " or a bare "ddd": the last line of a multi-line reply of code `code`.
bool EndsMultiLine(std::string_view line, std::string_view code) {
  if (line.size() < 3 || line.substr(0, 3) != code) return false;
  return line.size() == 3 || line[3] == ' ';
}

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

ReplyScan ScanReply(std::string_view bytes, std::size_t maxLine, std::size_t maxReply) {
  ReplyScan scan;
  std::string_view code;
  bool first = true;
  std::size_t from = 0;
  for (;;) {
    const std::size_t lf = bytes.find('\n', from);
    if (lf == std::string_view::npos) {
      // An unfinished line already past the bound never becomes a good one.
      if (bytes.size() - from > maxLine + 1 || bytes.size() > maxReply) scan.kind = ReplyScan::kTooLong;
      return scan;
    }
    const std::string_view line = WithoutLineEnd(bytes.substr(from, lf + 1 - from));
    if (line.size() > maxLine || lf + 1 > maxReply) {
      scan.kind = ReplyScan::kTooLong;
      return scan;
    }
    from = lf + 1;
    if (first) {
      first = false;
      if (!StartsWithCode(line) || line.size() < 4 || line[3] != '-') break;
      code = line.substr(0, 3);
    } else if (EndsMultiLine(line, code)) {
      break;
    }
  }
  scan.kind = ReplyScan::kComplete;
  scan.end = from;
  return scan;
}

std::string JoinReplyLines(std::string_view reply) {
  std::string joined;
  joined.reserve(reply.size());
  std::size_t from = 0;
  while (from < reply.size()) {
    std::size_t lf = reply.find('\n', from);
    const bool last = lf == std::string_view::npos || lf + 1 >= reply.size();
    if (lf == std::string_view::npos) lf = reply.size();
    joined += WithoutLineEnd(reply.substr(from, lf - from));
    if (!last) joined += "\r\n";
    from = lf + 1;
  }
  return joined;
}

}  // namespace wexmoor
