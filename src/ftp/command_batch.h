// Several commands on the control connection in one write, their replies
// read in order, each matched to its command. Only commands whose replies do
// not decide what is sent next go together; a reply that cannot be the
// answer to its command shows the conversation out of step.
#pragma once

#include <vector>

#include "ftp/ftp_session.h"
#include "ftp/reply_reader.h"
#include "ftp/status_target.h"
#include "model/server_table.h"
#include "platform/text.h"

namespace wexmoor {

struct BatchReply {
  Text command;  // as sent, without CR LF
  Text reply;    // the final reply to it (after any 1xx), or a reader text "!! …"
  int code = 0;
  ReplyClass kind = ReplyClass::kServerGone;
  bool inStep = true;  // ReplyInStep(command, reply)
};

// Whether `reply` can be the answer to `command`: a refusal (4xx, 5xx) always
// can; a positive code only where it is one the command is answered with, and
// in one line where the command is never answered in several (SIZE, RNFR,
// PASV, EPSV, TYPE, REST).
// Commands it has no table for are taken as in step.
bool ReplyInStep(TextView command, TextView reply);

// Sends `commands` (without CR LF) in one write and reads one final reply per
// command, in order; a 1xx before it is read past. Stops reading at the
// first reply that is the server's (421, a closed connection, a time-out) or
// out of step: the later commands' replies are then "!!" texts of kind
// kServerGone. Nothing is sent when one command cannot be (a line break in
// it, a name the character set cannot hold): every reply is then "!!".
// The last `unread` commands' replies are left for the caller (they stay
// "!!" here).
std::vector<BatchReply> ExchangeAll(FtpSession& session, int connection, ServerRecord& server,
                                    const std::vector<Text>& commands, StatusTarget* status,
                                    std::size_t unread = 0);

// The final reply to `command` (past at most three 1xx), classified and
// checked for step.
BatchReply ReadAnswer(FtpSession& session, int connection, ServerRecord& server, const Text& command,
                      StatusTarget* status);

// True when every reply is in step.
bool AllInStep(const std::vector<BatchReply>& replies);

}  // namespace wexmoor
