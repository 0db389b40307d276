// The shared state an upload worker runs against, for tests that drive a real
// UploadWorker and FTP engine: queue, servers, the remove ring, flags,
// history, clock and one FTP session.
#pragma once

#include "ftp/ftp_session.h"
#include "ftp/listener_ports.h"
#include "platform/clock.h"
#include "model/upload_queue.h"
#include "model/server_table.h"
#include "model/shared_state.h"
#include "model/ui_message_ring.h"

namespace wexmoor::testing {

struct WorkerRig {
  UploadQueue queue;
  ServerTable servers;
  UiMessageRing removeRing;
  SharedFlags flags;
  SessionHistory history;
  SystemClock clock;
  ListenerPortSequence ports;
  FtpSession session{clock, ports, flags.lastProgressTime};
};

}  // namespace wexmoor::testing
