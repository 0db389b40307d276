// Data channel for one transfer: passive (PASV, the engine dials the server)
// or active (an own listener announced with PORT, the server dials in).
// Order of use: OpenDataChannel, the transfer command, AwaitDataConnection,
// the data, CloseDataChannel, the final reply.
#pragma once

#include "ftp/ftp_session.h"
#include "ftp/status_target.h"
#include "platform/text.h"
#include "model/server_table.h"

namespace wexmoor {

// 1 when ready for the next transfer command, otherwise 0 or -1. Passive mode
// retries a refused "PASV" once as "passive".
int OpenDataChannel(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status);
int OpenPassive(FtpSession& session, int connection, ServerRecord& server, TextView command,
                StatusTarget* status);
int OpenActive(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status);

// Active mode: waits up to the record's timeOut for the server's connection
// (session.dataConnection stays 0 when none came). Passive: returns at once.
int AwaitDataConnection(FtpSession& session, ServerRecord& server);

// Closes the data connection and the listener (with the clients it accepted).
void CloseDataChannel(FtpSession& session, StatusTarget* status);

// The address and port of a 227 line "(h1,h2,h3,h4,p1,p2)".
Text ParsePasvAddress(TextView line);
int ParsePasvPort(TextView line);

}  // namespace wexmoor
