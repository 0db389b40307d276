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
// EPSV: the data goes to the control connection's peer and the port named.
int OpenExtendedPassive(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status);
// IPv4: PORT (with the router option); IPv6: EPRT with the control
// connection's local address.
int OpenActive(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status);

// Active mode: waits up to the record's timeOut for the server's connection
// (session.dataConnection stays 0 when none came). Passive: returns at once.
// With PROT P, then starts TLS on the data connection (resuming the control
// connection's session); a failed handshake drops the data connection.
int AwaitDataConnection(FtpSession& session, ServerRecord& server);

// Whether a PASV answer asked ahead (FtpSession::passiveAhead) is there and
// fresh enough to dial.
bool PassiveAheadFresh(const FtpSession& session);

// Closes the data connection and the listener (with the clients it accepted).
void CloseDataChannel(FtpSession& session, StatusTarget* status);

// The address and port of a 227 line "(h1,h2,h3,h4,p1,p2)".
Text ParsePasvAddress(TextView line);
int ParsePasvPort(TextView line);

}  // namespace wexmoor
