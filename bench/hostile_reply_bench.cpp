// One session against a server that never gives a good reply (see
// hostile_ftp_peer.py): how long the greeting takes to be given up, and the
// peak resident size meanwhile.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "bench_commands.h"
#include "bench_support.h"
#include "ftp/control_connection.h"
#include "ftp/ftp_session.h"
#include "ftp/listener_ports.h"
#include "platform/clock.h"

namespace wexmoor::bench {

int RunHostileGreeting(const Arguments& args) {
  SystemClock clock;
  ListenerPortSequence ports;
  std::atomic<std::int64_t> progress{0};
  FtpSession session(clock, ports, progress);
  ServerRecord record;
  record.address = u"127.0.0.1";
  record.port = std::stoi(args[0]);
  record.timeOut = std::stoi(args[1]);
  const auto start = std::chrono::steady_clock::now();
  OpenControlConnection(session, record, nullptr);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const bool givenUp = session.controlConnection() == 0;
  session.CloseAllSockets();
  PrintFigure("session_ms", ms, "ms");
  PrintFigure("peak_rss", PeakResidentMiB(), "MiB");
  return givenUp ? 0 : 1;
}

}  // namespace wexmoor::bench
