// Replies from a hostile server, fed through a connected socket pair: the
// reader and the code matching of an exchange must end, bounded, on any bytes.
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ftp/ftp_session.h"
#include "ftp/listener_ports.h"
#include "ftp/reply_reader.h"
#include "platform/clock.h"
#include "model/server_table.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 60000) return 0;
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
  // The engine treats 0 as "no connection"; keep both ends above it.
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::send(fds[1], data + done, size - done, MSG_NOSIGNAL);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::shutdown(fds[1], SHUT_WR);
  FakeClock clock;
  ListenerPortSequence ports;
  std::atomic<std::int64_t> progress{0};
  FtpSession session(clock, ports, progress);
  ServerRecord server;
  server.timeOut = 30;
  server.useUtf8 = size & 1;
  CommandReply reply;
  int r = RunCommand(session, fds[0], server, u"NOOP", u"257|500|550", reply, nullptr);
  if (r < -1 || r > 1) std::abort();
  (void)ReadReply(session, fds[0], server, 1, nullptr);
  ::close(fds[0]);
  ::close(fds[1]);
  return 0;
}
