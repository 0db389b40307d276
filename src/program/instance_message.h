// What a later start sends to the running program of its folder: each path
// in UTF-8 followed by "\r", then an empty line ("\r"). A start that names its
// server (--to) sends "to:" and the name as the first line. The running
// program answers "OK\r" once it has taken the paths, or "NO " and the
// reason and "\r" when it cannot queue them.
// `wexmoor --pause` and `--resume` send "do:pause" or "do:resume" as their
// only line instead (an older program refuses it: no path in it exists).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace wexmoor {

inline constexpr std::string_view kHandOverAcknowledgement = "OK\r";
inline constexpr std::string_view kHandOverRefusal = "NO ";
inline constexpr std::string_view kHandOverServerItem = "to:";
inline constexpr std::string_view kHandOverCommandItem = "do:";

// What a later start asks of the running program besides queueing paths.
enum class QueueCommand {
  kNone,
  kPause,    // pause every upload ("Pause all")
  kResume,   // resume every upload ("Resume all")
  kUnknown,  // a request this program does not know
};
// The message that asks for `command`.
std::string QueueCommandMessage(QueueCommand command);

// The message for `pathList` ("\r"-separated): empty items skipped, relative
// paths made absolute against the current directory; `server`, when not
// empty, first.
std::string HandOverMessage(const Text& pathList, const Text& server = {});

// A received message: the server it names (empty: the running program's
// choice) and its acceptable paths (see AcceptablePaths), or what it asks for
// instead.
struct HandOverRequest {
  Text server;
  Text paths;
  QueueCommand command = QueueCommand::kNone;
};
HandOverRequest ParseHandOverMessage(const Text& message);

// Where the message in `received` ends (the index of its closing empty
// line), or npos while it is incomplete. `before` is how much of `received`
// was already searched on an earlier call.
std::size_t HandOverMessageEnd(const std::string& received, std::size_t before);

// The paths of a received list up to the first that is not an existing
// absolute path, each followed by "\r".
Text AcceptablePaths(const Text& list);

}  // namespace wexmoor
