// The one delivery policy: what happens to a local file on its way to a
// server, whatever the protocol. It decides on the temporary name, resuming,
// "delivered before", the local file staying unchanged, the size (and hash)
// check, the rename and never deleting a good file, and asks a RemoteFiles
// for each step.
#pragma once

#include <functional>

#include "ftp/part_upload.h"
#include "model/delivery_book.h"
#include "model/status_target.h"
#include "model/transfer_observer.h"
#include "platform/text.h"
#include "spooler/remote_files.h"

namespace wexmoor {

class SentDigest;

struct DeliveryJob {
  Text localPath;
  Text remoteName;      // the final name in the current remote folder
  bool usePart = true;  // send to a temporary name, then rename
  PartRecord* part = nullptr;  // the entry's part record (null: none kept)
  // Where the file goes, "server|folder/name" (empty: the remote name): a
  // part is resumed only at the path it was begun at.
  Text remotePath;
  // Hears of a new part before its first byte goes, so the record reaches
  // the disk while the transfer runs.
  std::function<void(const PartRecord&)> partBegun;
  // The digest of the bytes sent (null: size only). It must sit among the
  // observers the write sees; it is restarted before each write so that it
  // covers the whole file, the bytes of a resumed part included.
  SentDigest* digest = nullptr;
};

// The remote path that a part record and the scheduler's one-upload-per-path
// rule go by: "server|folderPath" + name (folderPath "a/b/" below the login
// folder).
Text DeliveryPath(const Text& serverName, const Text& folderPath, const Text& remoteName);

// Delivers one file through `remote`. `observer` (optional) sees every block.
//
// The temporary name is the final name + ".part"; one entry at a time sends
// to a remote path (the scheduler sees to it), and the part record names the
// entry (its token) and the path, so a retry continues only its own part.
// The local file's size, modification time (ns) and inode are taken from the
// open descriptor at the start and checked again before the rename: a change
// fails the attempt and drops the part. "Rename issued" is recorded before the
// rename; only then does a later attempt take a final name of the right size
// with no part beside it as delivered before. A rename refused because the
// final name exists moves the old file aside, renames the part and only then
// removes the old one. After the rename the server's digest of the final
// file is compared with the one sent (a mismatch fails the attempt, "hash
// mismatch", and drops the part), and the final file is given the local
// file's modification time where the server can (a refusal is only logged).
// A file delivered before is proved the same way, its digest taken from the
// unchanged local file.

DeliveryOutcome DeliverWithPolicy(RemoteFiles& remote, const DeliveryJob& job, TransferObserver* observer,
                                  ProgressTarget* progress, StatusTarget* status);

}  // namespace wexmoor
