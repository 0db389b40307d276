#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace wexmoor {
namespace {

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Descriptor 0 is "no connection" for the engine, so a socket must never sit
// there: move it up and park /dev/null on 0 so that it stays taken.
int KeepOffZero(int fd) {
  if (fd != 0) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  int nul = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (nul >= 0) {
    dup2(nul, 0);
    if (nul != 0) close(nul);
  } else {
    close(0);
  }
  return moved < 0 ? -1 : moved;
}

bool MakeNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

int NewSocket() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  return KeepOffZero(fd);
}

// Only digits and dots, or an empty label: not something to look up by name.
bool LooksMalformed(const std::string& host) {
  if (host.empty() || host.size() > 253) return true;
  if (host.front() == '.' || host.back() == '.' || host.find("..") != std::string::npos) return true;
  for (unsigned char c : host) {
    if (c <= ' ' || c >= 0x7f) return true;
  }
  return false;
}

bool ResolveIpv4(const std::string& host, in_addr& out) {
  if (inet_pton(AF_INET, host.c_str(), &out) == 1) return true;
  if (LooksMalformed(host)) return false;
  if (std::all_of(host.begin(), host.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; })) {
    return false;  // a dotted address that is not one
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return false;
  bool found = false;
  for (addrinfo* p = list; p != nullptr; p = p->ai_next) {
    if (p->ai_family == AF_INET && p->ai_addr != nullptr) {
      out = reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr;
      found = true;
      break;
    }
  }
  freeaddrinfo(list);
  return found;
}

std::string Dotted(const in_addr& a) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &a, text, sizeof text) == nullptr) return {};
  return text;
}

}  // namespace

bool NetworkUsable() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  close(fd);
  return true;
}

std::int64_t NetworkMs() { return NowMs(); }

int ConnectTcp(const std::string& host, int port, int timeoutMs, std::stop_token stop) {
  if (port <= 0 || port > 65535 || stop.stop_requested()) return 0;
  in_addr address{};
  if (!ResolveIpv4(host, address)) return 0;
  if (stop.stop_requested()) return 0;  // the lookup cannot be interrupted; check once it is back
  int fd = NewSocket();
  if (fd < 0) return 0;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr = address;
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    if (errno != EINPROGRESS) {
      close(fd);
      return 0;
    }
    if (WaitWritable(fd, timeoutMs, stop) != WaitResult::kReady) {
      close(fd);
      return 0;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      close(fd);
      return 0;
    }
  }
  return fd;
}

long SendSome(int handle, const void* data, std::size_t size) {
  if (handle <= 0) return -1;
  if (size == 0) return 0;
  for (;;) {
    ssize_t n = send(handle, data, size, MSG_NOSIGNAL);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -1;
  }
}

long SendAll(int handle, const void* data, std::size_t size, int timeoutMs, std::stop_token stop) {
  const char* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    long n = SendSome(handle, bytes + done, size - done);
    if (n < 0) break;
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (WaitWritable(handle, timeoutMs, stop) != WaitResult::kReady) break;
  }
  if (done == 0 && size > 0) return -1;
  return static_cast<long>(done);
}

WaitResult WaitReadable(int handle, int timeoutMs, std::stop_token stop) {
  if (handle <= 0) return WaitResult::kError;
  return WaitForDescriptor(handle, POLLIN, timeoutMs, stop);
}

WaitResult WaitWritable(int handle, int timeoutMs, std::stop_token stop) {
  if (handle <= 0) return WaitResult::kError;
  return WaitForDescriptor(handle, POLLOUT, timeoutMs, stop);
}

long ReceiveSome(int handle, void* buffer, std::size_t size) {
  if (handle <= 0) return -1;
  for (;;) {
    ssize_t n = recv(handle, buffer, size, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -1;
  }
}

int ListenTcp(int port) {
  if (port <= 0 || port > 65535) return 0;
  int fd = NewSocket();
  if (fd < 0) return 0;
  int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(static_cast<std::uint16_t>(port));
  at.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(fd, 100) != 0) {
    close(fd);
    return 0;
  }
  return fd;
}

int AcceptClient(int listenHandle) {
  if (listenHandle <= 0) return 0;
  for (;;) {
    int fd = accept4(listenHandle, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
      fd = KeepOffZero(fd);
      if (fd < 0 || !MakeNonBlocking(fd)) {
        if (fd > 0) close(fd);
        return 0;
      }
      return fd;
    }
    if (errno == EINTR || errno == ECONNABORTED) continue;
    return 0;
  }
}

void CloseSocket(int handle) {
  if (handle > 0) close(handle);
}

std::string LocalIpv4Address(int handle) {
  if (handle <= 0) return {};
  sockaddr_in at{};
  socklen_t length = sizeof at;
  if (getsockname(handle, reinterpret_cast<sockaddr*>(&at), &length) != 0 || at.sin_family != AF_INET) {
    return {};
  }
  return Dotted(at.sin_addr);
}

std::vector<std::string> HostIpv4Addresses() {
  std::vector<std::string> result;
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return result;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &list) != 0) return result;
  for (addrinfo* p = list; p != nullptr; p = p->ai_next) {
    if (p->ai_family != AF_INET || p->ai_addr == nullptr) continue;
    std::string dotted = Dotted(reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr);
    if (!dotted.empty() && std::find(result.begin(), result.end(), dotted) == result.end()) {
      result.push_back(dotted);
    }
  }
  freeaddrinfo(list);
  return result;
}

}  // namespace wexmoor
