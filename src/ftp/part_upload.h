// What a delivery came to, and the FTP engine's pieces the delivery policy
// (spooler/delivery_policy.h) asks for on an FTP server: the size of a remote
// file, and the name of a file's part.
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
  kLocalChanged,  // the local file changed during the upload: sent again from 0
};

struct DeliveryOutcome {
  int result = -1;  // 1 delivered under its final name
  DeliveryFailure failure = DeliveryFailure::kNone;
  std::int64_t resumedFrom = 0;  // offset this attempt continued from
  std::int64_t bytesSent = 0;    // bytes this attempt sent
  Text error;                    // the last "!!" line, for the queue list
  Text verification = u"size";   // how the delivered file was checked: "sha256:<hex>", "size"
  // The local file as it was when this attempt began (size -1: not read):
  // what a delivery record keeps.
  PartRecord sentStamp;
};

// The name a file's part has on the server.
Text PartName(TextView remoteName);

// What RemoteSize learnt.
enum class RemoteSizeAnswer {
  kSize,         // SIZE told the size
  kListedSize,   // SIZE was refused, the listing told the size
  kMissing,      // 550 to SIZE: no such file
  kRefused,      // SIZE refused otherwise, and no listing told
  kUnsupported,  // SIZE is not a command of this server (500/502), and no listing told
  kServerGone,   // 421, the connection lost or silent
};

// The size of `name` on the server: SIZE, or (with `askListing`) the size
// column of a LIST of that name where SIZE is refused (but not for 550).
// `size` is -1 unless kSize.
RemoteSizeAnswer RemoteSize(FtpSession& session, int connection, ServerRecord& server, TextView name,
                            std::int64_t& size, StatusTarget* status, bool askListing = true);

// RNFR + RNTO. kDone renamed; kFromRefused RNFR was not answered 350;
// kToRefused RNFR got 350 and RNTO was refused (`reply` holds its text);
// kServerGone the connection went.
enum class RenameAnswer { kDone, kFromRefused, kToRefused, kServerGone };
// With `fromAccepted`, RNFR was sent and answered 350 already: RNTO alone.
RenameAnswer RenameRemote(FtpSession& session, int connection, ServerRecord& server, TextView from, TextView to,
                          Text& reply, StatusTarget* status, bool fromAccepted = false);
// DELE: 1 deleted, 0 refused, -1 the connection went.
int DeleteRemote(FtpSession& session, int connection, ServerRecord& server, TextView name, StatusTarget* status);

// The number after a "213" code, or -1.
std::int64_t SizeReplyValue(TextView reply);

// The size column (the fifth word) of a Unix-style listing line; -1 when the
// line has none.
std::int64_t ListingLineSize(TextView line);

}  // namespace wexmoor
