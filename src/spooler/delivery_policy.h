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

struct DeliveryJob {
  Text localPath;
  Text remoteName;      // the final name in the current remote folder
  bool usePart = true;  // send to a temporary name, then rename
  PartRecord* part = nullptr;  // the entry's part record (null: none kept)
  // Hears of a new part before its first byte goes, so the record reaches
  // the disk while the transfer runs.
  std::function<void(const PartRecord&)> partBegun;
};

// Delivers one file through `remote`. `observer` (optional) sees every block.
DeliveryOutcome DeliverWithPolicy(RemoteFiles& remote, const DeliveryJob& job, TransferObserver* observer,
                                  ProgressTarget* progress, StatusTarget* status);

}  // namespace wexmoor
