// Uploading one local file into the current remote folder of an open session.
#pragma once

#include <cstdint>
#include <cstdio>

#include <vector>

#include "ftp/command_batch.h"
#include "ftp/ftp_session.h"
#include "ftp/status_target.h"
#include "model/transfer_observer.h"
#include "platform/text.h"
#include "model/server_table.h"

namespace wexmoor {

// The engine's plain store of a whole file under its own name (STOR, no
// temporary name, no check): what the upload benchmark and the engine's
// tests use; deliveries go through the delivery policy. 1 when the whole
// file was sent and the server confirmed it; -1 for an empty or unreadable
// file, no data channel, a refused STOR or a send error; 0 when `connection`
// is 0. The session stays open for the caller either way.
int UploadFile(FtpSession& session, int connection, ServerRecord& server, const Text& localPath,
               ProgressTarget* progress, StatusTarget* status);

// What became of one StoreFrom.
struct StoreResult {
  int result = -1;          // 1 sent and confirmed by the closing reply
  bool serverGone = false;  // 421, the connection lost or silent: the server's failure
  bool stopped = false;     // the stop was seen
  Text message;             // why not, for the log and the queue list
  // The replies to the commands sent right behind the data (empty: none sent).
  std::vector<BatchReply> behind;
};

// Sends `length` bytes of the open file `fd` from `offset` on into `name`:
// STOR (a new file) when `offset` is 0, else REST `offset` + STOR, or APPE
// where REST is refused. Every block passes `observer` (may be null).
// Where a STOR of `name` went ahead with the previous file's last commands
// (passive sessions, `offset` 0), the bytes go at once on the address
// asked with it, without waiting for 150; its replies are read after them,
// and a refusal still ends the attempt by its code. A STOR sent ahead for
// another name is settled first.
// `behind` (pipelining servers) go in one write as soon as the data
// connection is closed, before the closing reply is read; their replies are
// read after it. The closing reply must come first: a reply of theirs before
// it (a server that answers commands while its transfer drains) is out of
// step, and so is the attempt.
StoreResult StoreFrom(FtpSession& session, int connection, ServerRecord& server, TextView name, int fd,
                      std::int64_t offset, std::int64_t length, TransferObserver* observer, ProgressTarget* progress,
                      StatusTarget* status, const std::vector<Text>& behind = {});

// Ends a STOR sent ahead (FtpSession::storeAhead) that no file takes: an
// empty data connection to the address asked with it, its replies read, and
// the empty file it made deleted. 1 settled (or nothing waited); -1 the
// conversation cannot go on (the connection lost, silent, or no fresh
// address to dial): the caller drops the connection.
int SettleStoreAhead(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status);

// Streams `size` bytes of the open file `fd` from `offset` on, in blocks of
// the session's block size, on the data connection: zero-copy when the
// session allows it and `observer` wants no bytes. Each block waits for
// observer->BeforeBlock and is told to AfterBlock. The last progress time
// follows every block; progress and status ("n / total") at most ten times a
// second and once at the end. 1 all sent; -1 send error, short file, no data
// connection or the observer's stop.
int SendFileData(FtpSession& session, int fd, std::int64_t offset, int dataConnection, ProgressTarget* progress,
                 std::int64_t size, StatusTarget* status, ServerRecord& server, TransferObserver* observer = nullptr);

// The name a local path gets on the server: what follows the last "/",
// unchanged (back-slashes and double quotes included).
Text RemoteFileName(TextView localPath);

}  // namespace wexmoor
