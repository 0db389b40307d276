// The lowest layer of the FTP engine: the timestamped log line, sending one
// command, reading one reply (or one burst of data), matching reply codes, and
// the command-and-expected-codes exchange everything else is built on.
#pragma once

#include <vector>

#include "ftp/ftp_session.h"
#include "ftp/status_target.h"
#include "platform/text.h"
#include "model/server_table.h"

namespace wexmoor {

// Whose failure a reply is.
enum class ReplyClass {
  kPositive,    // 1xx, 2xx, 3xx
  kRefused,     // 4xx or 5xx but 421: the server refused this command (the entry's failure)
  kServerGone,  // 421, a closed connection, a time-out, a reply past its bounds, no code
  kStopped,     // the session's stop was requested
};

// The three-digit code of a reply (its first line), 0 when it has none.
int ReplyCode(TextView reply);
// The class of a reply as ReadReply returns it (reader texts included).
ReplyClass ClassifyReply(TextView reply);

// The result of one RunCommand exchange.
struct CommandReply {
  Text reply;  // the last reply read
  Text line;   // the line starting with the accepted code (without CR LF), or ""
  int code = 0;                                  // ReplyCode(reply)
  ReplyClass kind = ReplyClass::kServerGone;     // ClassifyReply(reply)
};

// "hh:mm:ss: " + text into the session's log and, whole, onto the status
// target. An empty text writes nothing.
void LogLine(FtpSession& session, TextView text, StatusTarget* status);

// Logs "<--->" + the command (PASS hidden as "PASS ****"), encodes it in the
// server's character set and sends it. Returns the count the send reported.
long SendCommand(FtpSession& session, int connection, const ServerRecord& server,
                 TextView command, StatusTarget* status);

// Sends several commands (each ending in CR LF) in one write, each logged as
// SendCommand logs it. Nothing is sent (-1) when one of them holds a line
// break before its end, or cannot be written in the server's character set
// (the refusal then waits in `session.unsentReply`, as SendCommand leaves it).
long SendCommands(FtpSession& session, int connection, const ServerRecord& server,
                  const std::vector<Text>& commands, StatusTarget* status);

// Reads one whole reply (rawMode 0) or data until the line goes quiet
// (rawMode 1). A `timeOut` of 0 in `server` becomes 10000.
//
// rawMode 0: a reply is whole at the end of its last line (see
// reply_assembler.h), whatever packets it came in; bytes after it are kept
// for the next call. The whole reply must come within `timeOut` of the call,
// and stay within kMaxReplyLineBytes a line and kMaxReplyBytes in all;
// otherwise the connection is dropped (nothing more is sent or read on it)
// and the result is "!! TimeOut !!" or "!! Reply too long !!". A closed
// connection gives what came of an unfinished last line, or "!! Connection
// closed !!".
//
// rawMode 1: blocks until no data comes within twenty times the slowest block
// (a block counting as at least 50 ms, never more than `timeOut`), or the peer
// closes; no bound on the size.
//
// Returns the text trimmed of trailing LF, CR and spaces, lines joined by
// CR LF, or a reader text beginning with "!!" ("!! No Connection !!",
// "!! Stopped !!" when the session's stop was requested, "!! TimeOut !!" when
// nothing came); logs ">---<" + it. Time runs on the session's clock.
Text ReadReply(FtpSession& session, int connection, ServerRecord& server, int rawMode,
               StatusTarget* status);

// 1-based position of a line of `reply` that begins with `code` (followed by a
// space or "-"), or 0.
int ReplyHasCode(TextView reply, TextView code);

// Sends `command` and reads whole replies until one carries a code of
// `codePattern` ("125|150|226") or is final (2xx to 5xx). 1 when a listed
// code came (a 425 or 550 is accepted only as the pattern's first code); -1 on
// a reader error or an unlisted 4xx/5xx; 0 on an unlisted 2xx/3xx or after
// three replies without a listed or final code (1xx, or no code).
int RunCommand(FtpSession& session, int connection, ServerRecord& server, TextView command,
               TextView codePattern, CommandReply& commandReply, StatusTarget* status);

}  // namespace wexmoor
