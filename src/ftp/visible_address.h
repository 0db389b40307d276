// The address active mode announces with PORT: the local address of the
// control connection, or the address the outside world sees (read from a web
// page that echoes it) for a client behind a router.
#pragma once

#include "ftp/ftp_session.h"
#include "platform/text.h"

namespace wexmoor {

// Fetches the session's echo page (at most its first 255 bytes) and finds the
// address in it; empty when there is no page or no answer.
Text LookUpVisibleAddress(FtpSession& session);

// Finds the address in the first bytes of an echo page, taken as ANSI text.
Text ParseVisibleAddressPage(TextView page);

// The local IPv4 address of the control connection; failing that the first
// address of the local host name that is not "0.0.0.0"; failing that "0.0.0.0".
Text LocalAddress(FtpSession& session);

}  // namespace wexmoor
