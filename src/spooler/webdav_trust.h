// Whether a WebDAV server's certificate is trusted: the system store and the
// host name, else the fingerprint stored in the server's record, as for FTPS.
#pragma once

#include "ftp/ftp_session.h"
#include "model/conversation_log.h"
#include "model/server_table.h"
#include "platform/clock.h"
#include "webdav/dav_client.h"

namespace wexmoor {

// The trust rule for a server's certificate: the system store and the host
// name, else the stored fingerprint; anything else is noted in `log` (with its
// fingerprint) and told to `asker` (optional), and refused.
bool DavCertificateTrusted(const DavCertificate& certificate, const ServerRecord& record,
                           CertificateTrustAsker* asker, ConversationLog& log, const Clock& clock);
// Anything else is never accepted silently: a changed certificate is said so.

}  // namespace wexmoor
