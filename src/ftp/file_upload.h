// Uploading one local file into the current remote folder of an open session.
#pragma once

#include <cstdint>
#include <cstdio>

#include "ftp/ftp_session.h"
#include "ftp/status_target.h"
#include "platform/text.h"
#include "model/server_table.h"

namespace wexmoor {

// 1 when the whole file was sent and STOR succeeded; -1 for an empty or
// unreadable file, no data channel, a refused STOR or a send error; 0 when
// `connection` is 0 or three STOR replies carried no known code. The session
// stays open for the caller either way.
int UploadFile(FtpSession& session, int connection, ServerRecord& server, const Text& localPath,
               ProgressTarget* progress, StatusTarget* status);

// Streams `size` bytes of `file` (from its current position) in blocks of the
// session's block size on the data connection, zero-copy when the session
// allows it. The last progress time follows every block; progress and status
// ("n / total") at most ten times a second and once at the end. 1 all sent;
// -1 send error, short file or no data connection.
int SendFileData(FtpSession& session, std::FILE* file, int dataConnection, ProgressTarget* progress,
                 std::int64_t size, StatusTarget* status, ServerRecord& server);

// The name a local path gets on the server: what follows the last "/",
// unchanged (back-slashes and double quotes included).
Text RemoteFileName(TextView localPath);

}  // namespace wexmoor
