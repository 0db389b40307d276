// Where one control-connection reply ends in the bytes read so far. A reply
// is one line, or, when its first line is a code followed by "-", every line
// up to the one that starts with the same code and a space (however the
// lines were split into packets). Lines end with LF (CR LF, or a bare LF).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace wexmoor {

// A line longer than this (without its line end), or a reply longer than
// this, is not the reply of a working server.
constexpr std::size_t kMaxReplyLineBytes = 8 * 1024;
constexpr std::size_t kMaxReplyBytes = 256 * 1024;

struct ReplyScan {
  enum Kind { kIncomplete, kComplete, kTooLong };
  Kind kind = kIncomplete;
  // kComplete: the bytes of the reply, line end of its last line included
  // (the rest belongs to the next reply).
  std::size_t end = 0;
};

ReplyScan ScanReply(std::string_view bytes, std::size_t maxLine = kMaxReplyLineBytes,
                    std::size_t maxReply = kMaxReplyBytes);

// The reply's lines joined by CR LF (a bare LF becomes CR LF), without the
// line end of the last line.
std::string JoinReplyLines(std::string_view reply);

}  // namespace wexmoor
