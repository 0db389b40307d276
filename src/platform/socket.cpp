#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/sendfile.h>
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

int NewSocket(int family = AF_INET) {
  int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  return KeepOffZero(fd);
}

// The addresses to try for `host`, in the resolver's order; a literal
// address gives itself alone.
std::vector<sockaddr_storage> Resolve(const std::string& text, int port) {
  std::vector<sockaddr_storage> out;
  const HostText parsed = ParseHostText(text);
  if (!parsed.valid) return out;
  const std::string& host = parsed.host;
  sockaddr_storage one{};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&one);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&one);
  if (!parsed.ipv6Literal && inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    out.push_back(one);
    return out;
  }
  if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(port));
    out.push_back(one);
    return out;
  }
  if (parsed.ipv6Literal) return out;
  if (std::all_of(host.begin(), host.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; })) {
    return out;  // a dotted address that is not one
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return out;
  for (addrinfo* p = list; p != nullptr && out.size() < 8; p = p->ai_next) {
    if (p->ai_addr == nullptr) continue;
    sockaddr_storage a{};
    if (p->ai_family == AF_INET && p->ai_addrlen <= sizeof a) {
      std::memcpy(&a, p->ai_addr, p->ai_addrlen);
      reinterpret_cast<sockaddr_in*>(&a)->sin_port = htons(static_cast<std::uint16_t>(port));
    } else if (p->ai_family == AF_INET6 && p->ai_addrlen <= sizeof a) {
      std::memcpy(&a, p->ai_addr, p->ai_addrlen);
      reinterpret_cast<sockaddr_in6*>(&a)->sin6_port = htons(static_cast<std::uint16_t>(port));
    } else {
      continue;
    }
    out.push_back(a);
  }
  freeaddrinfo(list);
  return out;
}

std::string Dotted(const in_addr& a) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &a, text, sizeof text) == nullptr) return {};
  return text;
}

std::string Numeric(const sockaddr_storage& a, int* family) {
  char text[INET6_ADDRSTRLEN] = {};
  if (family != nullptr) *family = 0;
  if (a.ss_family == AF_INET) {
    if (inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&a)->sin_addr, text, sizeof text) == nullptr) return {};
    if (family != nullptr) *family = 4;
    return text;
  }
  if (a.ss_family == AF_INET6) {
    const in6_addr& six = reinterpret_cast<const sockaddr_in6*>(&a)->sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&six)) {
      in_addr four{};
      std::memcpy(&four, six.s6_addr + 12, 4);
      if (family != nullptr) *family = 4;
      return Dotted(four);
    }
    if (inet_ntop(AF_INET6, &six, text, sizeof text) == nullptr) return {};
    if (family != nullptr) *family = 6;
    return text;
  }
  return {};
}

// Every write goes out at once: the engine writes whole commands (or
// several together) and whole blocks, and a small one held back for an
// acknowledgement (a TLS close_notify behind the data, say) costs a delayed
// acknowledgement's wait.
void SendAtOnce(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

int ConnectOne(const sockaddr_storage& to, int timeoutMs, const std::stop_token& stop) {
  int fd = NewSocket(to.ss_family);
  if (fd < 0) return 0;
  const socklen_t size = to.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&to), size) != 0) {
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
  SendAtOnce(fd);
  return fd;
}

}  // namespace

HostText ParseHostText(std::string_view text) {
  HostText out;
  if (text.empty() || text.size() > 253) return out;
  for (unsigned char c : text) {
    if (c <= ' ' || c >= 0x7f) return out;
  }
  if (text.front() == '[' || text.back() == ']') {
    if (text.size() < 3 || text.front() != '[' || text.back() != ']') return out;
    const std::string_view inner = text.substr(1, text.size() - 2);
    in6_addr probe{};
    const std::string inside(inner);
    if (inet_pton(AF_INET6, inside.c_str(), &probe) != 1) return out;
    out.host = inside;
    out.ipv6Literal = true;
    out.valid = true;
    return out;
  }
  if (text.find(':') != std::string_view::npos) {
    in6_addr probe{};
    const std::string inside(text);
    if (inet_pton(AF_INET6, inside.c_str(), &probe) != 1) return out;
    out.host = inside;
    out.ipv6Literal = true;
    out.valid = true;
    return out;
  }
  if (text.front() == '.' || text.back() == '.' || text.find("..") != std::string_view::npos) return out;
  // A name: brackets belong only around a whole IPv6 literal.
  if (text.find_first_of("[]") != std::string_view::npos) return out;
  out.host = std::string(text);
  out.valid = true;
  return out;
}

bool NetworkUsable() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  close(fd);
  return true;
}

std::int64_t NetworkMs() { return NowMs(); }

int ConnectTcp(const std::string& host, int port, int timeoutMs, std::stop_token stop) {
  if (port <= 0 || port > 65535 || stop.stop_requested()) return 0;
  const std::vector<sockaddr_storage> addresses = Resolve(host, port);
  for (const sockaddr_storage& to : addresses) {
    if (stop.stop_requested()) return 0;  // the lookup cannot be interrupted; check once it is back
    const int fd = ConnectOne(to, timeoutMs, stop);
    if (fd > 0) return fd;
  }
  return 0;
}

std::string PeerAddress(int handle, int* family) {
  sockaddr_storage at{};
  socklen_t length = sizeof at;
  if (handle <= 0 || getpeername(handle, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
    if (family != nullptr) *family = 0;
    return {};
  }
  return Numeric(at, family);
}

std::string LocalAddress(int handle, int* family) {
  sockaddr_storage at{};
  socklen_t length = sizeof at;
  if (handle <= 0 || getsockname(handle, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
    if (family != nullptr) *family = 0;
    return {};
  }
  return Numeric(at, family);
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

long SendFileSome(int handle, int fileFd, std::int64_t& offset, std::size_t count) {
  if (handle <= 0 || fileFd < 0) return -1;
  if (count == 0) return 0;
  // sendfile has no MSG_NOSIGNAL: a closed peer's SIGPIPE is held back in
  // this thread and taken off again, so the process never sees it.
  sigset_t pipeSignal;
  sigset_t previous;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  long result = -1;
  for (;;) {
    off_t at = static_cast<off_t>(offset);
    ssize_t n = sendfile(handle, fileFd, &at, count);
    if (n > 0) {
      offset = static_cast<std::int64_t>(at);
      result = static_cast<long>(n);
    } else if (n == 0) {
      result = kFileEnded;
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      result = 0;
    } else if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
      result = kZeroCopyUnsupported;
    } else {
      if (errno == EPIPE) {
        const timespec none{};
        sigtimedwait(&pipeSignal, nullptr, &none);
      }
      result = -1;
    }
    break;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return result;
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

int ListenTcp6(int port) {
  if (port <= 0 || port > 65535) return 0;
  int fd = NewSocket(AF_INET6);
  if (fd < 0) return 0;
  int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
  sockaddr_in6 at{};
  at.sin6_family = AF_INET6;
  at.sin6_port = htons(static_cast<std::uint16_t>(port));
  at.sin6_addr = in6addr_any;
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
      SendAtOnce(fd);
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
