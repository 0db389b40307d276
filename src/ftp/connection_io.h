// Reading and writing one of a session's connections, plain or in TLS: the
// engine's exchanges go through these so that they need not know which.
#pragma once

#include <cstddef>

#include "ftp/ftp_session.h"
#include "platform/socket.h"

namespace wexmoor {

// The count accepted, 0 when nothing can be taken now, negative on error.
long ConnectionSend(FtpSession& session, int handle, const void* data, std::size_t size);
// Sends everything, waiting at most `timeoutMs` without progress; the count
// sent, negative when nothing could be sent.
long ConnectionSendAll(FtpSession& session, int handle, const void* data, std::size_t size, int timeoutMs);
WaitResult ConnectionWaitReadable(FtpSession& session, int handle, int timeoutMs);
WaitResult ConnectionWaitWritable(FtpSession& session, int handle, int timeoutMs);
// Plain: as ReceiveSome. TLS: the count, kNothingYet when only protocol
// records came (a session ticket, part of a record), 0 when the peer closed.
constexpr long kNothingYet = -2;
long ConnectionReceive(FtpSession& session, int handle, void* buffer, std::size_t size);

}  // namespace wexmoor
