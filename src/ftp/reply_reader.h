// The lowest layer of the FTP engine: the timestamped log line, sending one
// command, reading one reply (or one burst of data), matching reply codes, and
// the command-and-expected-codes exchange everything else is built on.
#pragma once

#include "ftp/ftp_session.h"
#include "ftp/status_target.h"
#include "platform/text.h"
#include "model/server_table.h"

namespace wexmoor {

// The result of one RunCommand exchange.
struct CommandReply {
  Text reply;  // the last reply read
  Text line;   // the line starting with the accepted code (without CR LF), or ""
};

// "hh:mm:ss: " + text into the session's log and, whole, onto the status
// target. An empty text writes nothing.
void LogLine(FtpSession& session, TextView text, StatusTarget* status);

// Logs "<--->" + the command (PASS hidden as "PASS ****"), encodes it in the
// server's character set and sends it. Returns the count the send reported.
long SendCommand(FtpSession& session, int connection, const ServerRecord& server,
                 TextView command, StatusTarget* status);

// Reads one reply (rawMode 0) or data until the line goes quiet (rawMode 1).
// A `timeOut` of 0 in `server` becomes 10000. Returns the text trimmed of
// trailing LF, CR and spaces, or "!! TimeOut !!", "!! No Connection !!"
// ("!! Stopped !!" when the session's stop was requested); logs ">---<" + it.
Text ReadReply(FtpSession& session, int connection, ServerRecord& server, int rawMode,
               StatusTarget* status);

// 1-based position of a line of `reply` that begins with `code` (followed by a
// space or "-"), or 0.
int ReplyHasCode(TextView reply, TextView code);

// Sends `command` and reads up to three replies looking for a code of
// `codePattern` ("125|150|226"). 1 found; -1 on a reader error or a 425/550
// reply where another code was expected; 0 when three replies had none.
int RunCommand(FtpSession& session, int connection, ServerRecord& server, TextView command,
               TextView codePattern, CommandReply& commandReply, StatusTarget* status);

}  // namespace wexmoor
