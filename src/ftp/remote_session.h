// Entry points of the FTP engine: connect, log in, walk (and create) the
// folder path of the server address, optionally list the final folder.
#pragma once

#include "ftp/ftp_session.h"
#include "ftp/reply_reader.h"
#include "ftp/status_target.h"
#include "platform/text.h"
#include "model/server_table.h"

namespace wexmoor {

// Works on a copy of `server`. Returns "", a listing result ("name|name|"),
// or the last error text (beginning with "!!"). Closes the session when
// `closeAfter` is non-zero; otherwise the caller closes it with Disconnect.
Text OpenRemoteSession(FtpSession& session, const ServerRecord& server, int closeAfter,
                       int wantListing, StatusTarget* status);
// For an upload: leaves the session open (also after a failure: the caller
// calls Disconnect). 1, or 0 when the result text begins with "!!".
int PrepareUploadSession(FtpSession& session, const ServerRecord& server, int wantListing,
                         StatusTarget* status);
// Lists the folder of the address and closes: a listing result or an "!!" text.
Text BrowseServer(FtpSession& session, const ServerRecord& server, StatusTarget* status);

// CWD: 1 (250), 550 (the reply carries 550), else 0 or -1.
int ChangeFolder(FtpSession& session, int connection, ServerRecord& server, TextView folder,
                 StatusTarget* status);
// MKD, one reply: 1 (257), -1 refused (or an empty name), 0 the connection
// went.
int MakeFolder(FtpSession& session, int connection, ServerRecord& server, TextView folder,
               StatusTarget* status);
// Makes `folder` below the current one and enters it. A refused MKD (any
// 4xx/5xx: a neighbouring session may have made it meanwhile) is followed by
// CWD all the same; only when that fails too is it an error. 1 inside; -1
// refused (logged "!!Error while creating the directory!! folder"); 0 the
// connection went.
int MakeAndEnterFolder(FtpSession& session, int connection, ServerRecord& server, TextView folder,
                       StatusTarget* status);
// LIST over a data channel: 1 with the raw text in `listing`, else -1, 0 or -2.
int ListFolder(FtpSession& session, int connection, ServerRecord& server, TextView arguments,
               Text& listing, StatusTarget* status);
int ReceiveListing(FtpSession& session, int connection, ServerRecord& server, int completionSeen,
                   Text& listing, StatusTarget* status);

}  // namespace wexmoor
