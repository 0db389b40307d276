// The shared state an upload worker runs against, for tests that drive a real
// UploadWorker and FTP engine: queue, servers, the remove ring, flags,
// history, clock and one FTP session, with a driven or a real clock.
#pragma once

#include "ftp/ftp_session.h"
#include "ftp/listener_ports.h"
#include "platform/clock.h"
#include "model/upload_queue.h"
#include "model/server_table.h"
#include "model/shared_state.h"
#include "model/ui_message_ring.h"

namespace wexmoor::testing {

template <class ClockKind>
struct BasicWorkerRig {
  UploadQueue queue;
  ServerTable servers;
  UiMessageRing removeRing;
  SharedFlags flags;
  SessionHistory history;
  ClockKind clock;
  ListenerPortSequence ports;
  FtpSession session{clock, ports, flags.lastProgressTime};
};

// Driven: retry waits pass at once while the network runs in real time.
using WorkerRig = BasicWorkerRig<FakeClock>;
// Real time throughout, for tests that follow a server's own timing.
using RealTimeWorkerRig = BasicWorkerRig<SystemClock>;

}  // namespace wexmoor::testing
