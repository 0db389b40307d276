#include "peers/loopback_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace wexmoor::testing {

int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof at;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length) == 0) {
    port = ntohs(at.sin_port);
  }
  close(fd);
  return port;
}

bool LoopbackAnswers(int port, std::string_view greeting, int waitMs) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
  if (ok && !greeting.empty()) {
    timeval limit{waitMs / 1000, (waitMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string first(greeting.size(), '\0');
    ok = recv(fd, first.data(), first.size(), MSG_WAITALL) == static_cast<long>(first.size()) && first == greeting;
  }
  close(fd);
  return ok;
}

}  // namespace wexmoor::testing
