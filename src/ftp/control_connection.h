// Control connection and login: network start, opening and
// greeting, USER / PASS / TYPE I / "opts utf8 on", and QUIT.
#pragma once

#include "ftp/ftp_session.h"
#include "ftp/status_target.h"
#include "platform/text.h"
#include "model/server_table.h"

namespace wexmoor {

// Logs that the TCP/IP stack is usable; 1, or -1.
int StartNetwork(FtpSession& session);

// Connects to the record's `address` (the bare host) and port (21 for 0) and
// checks the 220 greeting; does nothing while a connection is open. The caller
// reads session.controlConnection() afterwards.
void OpenControlConnection(FtpSession& session, ServerRecord& server, StatusTarget* status);

// USER (a 230 needs no PASS), PASS, with TLS PBSZ 0 and PROT P, FEAT, TYPE I.
// Where FEAT lists UTF8 the conversation is in UTF-8 from then on (the
// record's useUtf8 becomes 1) and "OPTS UTF8 ON" is sent.
// 1 logged in with TYPE I; -1 user or password refused (session closed);
// 0 or -1 when TYPE I was refused twice (session left open).
int Login(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status);

// True when a FEAT reply lists `feature` (a line " UTF8", any letter case).
bool ListsFeature(TextView featReply, TextView feature);

// Closes the data channel, sends QUIT (unlogged, no reply awaited), closes the
// control connection and forgets the visible address. Returns 1.
int Disconnect(FtpSession& session, StatusTarget* status);

}  // namespace wexmoor
