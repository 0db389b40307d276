#include "peers/tcp_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace wexmoor::testing {
namespace {

int DialLoopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    close(fd);
    fd = -1;
  }
  return fd;
}

struct Pair {
  int client = -1;
  int server = -1;
};

}  // namespace

TcpRelay::TcpRelay(int targetPort) : targetPort_(targetPort) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof at;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
      listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
    return;
  }
  port_ = ntohs(at.sin_port);
  thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

TcpRelay::~TcpRelay() {
  if (thread_.joinable()) {
    thread_.request_stop();
    thread_.join();
  }
  if (listener_ >= 0) close(listener_);
}

void TcpRelay::Run(std::stop_token stop) {
  std::vector<Pair> pairs;
  char buffer[64 * 1024];
  auto closePair = [](Pair& p) {
    if (p.client >= 0) close(p.client);
    if (p.server >= 0) close(p.server);
    p.client = p.server = -1;
  };
  while (!stop.stop_requested()) {
    if (cut_.exchange(false)) {
      for (auto& p : pairs) closePair(p);
      pairs.clear();
      cutsDone_++;
    }
    std::vector<pollfd> polls;
    polls.push_back({listener_, POLLIN, 0});
    const bool hold = hold_.load();
    for (auto& p : pairs) {
      polls.push_back({p.client, static_cast<short>(hold ? 0 : POLLIN), 0});
      polls.push_back({p.server, static_cast<short>(hold ? 0 : POLLIN), 0});
    }
    poll(polls.data(), polls.size(), 10);
    const std::size_t polled = pairs.size();  // a pair accepted below waits for the next round
    if ((polls[0].revents & POLLIN) != 0) {
      const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        accepted_++;
        const int server = DialLoopback(targetPort_);
        if (server < 0) {
          close(client);
        } else {
          pairs.push_back({client, server});
        }
      }
    }
    for (std::size_t i = 0; i < polled && !hold; ++i) {
      for (int side = 0; side < 2; ++side) {
        const short revents = polls[1 + 2 * i + side].revents;
        if (revents == 0) continue;
        const int from = side == 0 ? pairs[i].client : pairs[i].server;
        const int to = side == 0 ? pairs[i].server : pairs[i].client;
        if (from < 0) continue;
        const ssize_t n = recv(from, buffer, sizeof buffer, 0);
        bool ok = n > 0;
        // Blocking sends: the other side is local and reads promptly.
        for (ssize_t sent = 0; ok && sent < n;) {
          const ssize_t m = send(to, buffer + sent, static_cast<std::size_t>(n - sent), MSG_NOSIGNAL);
          ok = m > 0;
          sent += m > 0 ? m : 0;
        }
        if (!ok) closePair(pairs[i]);
      }
    }
    std::erase_if(pairs, [](const Pair& p) { return p.client < 0; });
  }
  for (auto& p : pairs) closePair(p);
}

}  // namespace wexmoor::testing
