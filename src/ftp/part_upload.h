// Delivering one local file so that the final name on the server only ever
// holds a complete file: the data goes to name + ".part", is checked with
// SIZE, and is renamed with RNFR/RNTO once the closing reply says the transfer
// is complete. A later attempt continues an interrupted part (REST + STOR, or
// APPE where REST is refused) when the local file has not changed since the
// part was begun.
#pragma once

#include <cstdint>
#include <functional>

#include "ftp/ftp_session.h"
#include "ftp/status_target.h"
#include "model/delivery_book.h"
#include "platform/text.h"
#include "model/server_table.h"

namespace wexmoor {

enum class DeliveryFailure {
  kNone,
  kLocalFile,   // missing, unreadable or a folder: nothing was asked of the server
  kServerGone,  // 421, or the control connection was lost or timed out
  kTransfer,    // refused command, data cut, wrong closing reply, failed rename
  kVerify,      // the server's size differs from the local one
};

struct DeliveryOutcome {
  int result = -1;  // 1 delivered under its final name
  DeliveryFailure failure = DeliveryFailure::kNone;
  std::int64_t resumedFrom = 0;  // offset this attempt continued from
  std::int64_t bytesSent = 0;    // bytes this attempt sent
  Text error;                    // the last "!!" line, for the queue list
};

// The name a file's part has on the server.
Text PartName(TextView remoteName);

// Delivers `localPath` into the current remote folder of an open session.
// With server.tempName 0 the file is stored under its final name directly
// (no part, no resume, no rename). `part` is read to decide on resuming and
// updated: set when a new part is begun, cleared when the file is delivered
// or the part proved wrong. An empty local file is stored as an empty file.
// `partBegun` (optional) hears of a new part before its first byte is sent,
// so the record can reach the disk while the transfer runs.
DeliveryOutcome DeliverFile(FtpSession& session, int connection, ServerRecord& server, const Text& localPath,
                            PartRecord& part, ProgressTarget* progress, StatusTarget* status,
                            const std::function<void(const PartRecord&)>& partBegun = {});

// The size of `name` on the server: SIZE, or the size column of a LIST of
// that name where SIZE is refused. -1 when neither tells.
std::int64_t RemoteSize(FtpSession& session, int connection, ServerRecord& server, TextView name,
                        StatusTarget* status);

// The size column (the fifth word) of a Unix-style listing line; -1 when the
// line has none.
std::int64_t ListingLineSize(TextView line);

}  // namespace wexmoor
