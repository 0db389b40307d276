#include "peers/fake_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <strings.h>

namespace wexmoor::testing {

namespace {

std::string PathOf(const std::string& target) { return target.substr(0, target.find('?')); }

bool SendAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
  for (const auto& [k, v] : headers)
    if (strcasecmp(k.c_str(), name.c_str()) == 0) return v;
  return {};
}

bool RecordedRequest::HasHeader(const std::string& name) const {
  for (const auto& h : headers)
    if (strcasecmp(h.first.c_str(), name.c_str()) == 0) return true;
  return false;
}

FakeHttpServer::FakeHttpServer() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error("socket failed");
  int one = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener_, 16) != 0)
    throw std::runtime_error("bind/listen failed");
  socklen_t len = sizeof addr;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

FakeHttpServer::~FakeHttpServer() {
  stopping_ = true;
  acceptor_.join();
  std::vector<std::thread> connections;
  {
    std::lock_guard lock(mutex_);
    connections.swap(connections_);
  }
  for (auto& t : connections) t.join();
  ::close(listener_);
}

std::string FakeHttpServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

void FakeHttpServer::SetRoute(const std::string& path, HttpRoute route) {
  SetRouteSequence(path, {std::move(route)});
}

void FakeHttpServer::SetRouteSequence(const std::string& path, std::vector<HttpRoute> routes) {
  std::lock_guard lock(mutex_);
  routes_[path] = std::move(routes);
  served_[path] = 0;
}

std::vector<RecordedRequest> FakeHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<RecordedRequest> FakeHttpServer::RequestsFor(const std::string& path) const {
  std::vector<RecordedRequest> out;
  for (auto& r : Requests())
    if (PathOf(r.target) == path) out.push_back(r);
  return out;
}

HttpRoute FakeHttpServer::NextRoute(const std::string& path) {
  std::lock_guard lock(mutex_);
  auto it = routes_.find(path);
  if (it == routes_.end() || it->second.empty()) {
    HttpRoute missing;
    missing.status = 404;
    missing.reason = "Not Found";
    missing.body = "no such page";
    return missing;
  }
  std::size_t& n = served_[path];
  const std::size_t index = std::min(n, it->second.size() - 1);
  ++n;
  return it->second[index];
}

void FakeHttpServer::AcceptLoop() {
  while (!stopping_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) continue;
    int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    connections_.emplace_back([this, fd] {
      Serve(fd);
      ::close(fd);
    });
  }
}

// Waits up to `ms` (forever for -1); false when the server stops or the
// client closed the connection.
bool FakeHttpServer::WaitMs(int fd, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
  while (!stopping_) {
    if (ms >= 0 && std::chrono::steady_clock::now() >= end) return true;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10) > 0) {
      char c;
      ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return false;
      if (p.revents & (POLLHUP | POLLERR)) return false;
    }
  }
  return false;
}

void FakeHttpServer::Serve(int fd) {
  std::string data;
  while (!stopping_ && data.find("\r\n\r\n") == std::string::npos && data.size() < 65536) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) continue;
    char buf[4096];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return;
    data.append(buf, static_cast<std::size_t>(n));
  }
  const auto headEnd = data.find("\r\n\r\n");
  if (headEnd == std::string::npos) return;

  RecordedRequest request;
  std::size_t pos = data.find("\r\n");
  request.requestLine = data.substr(0, pos);
  const auto sp1 = request.requestLine.find(' ');
  const auto sp2 = request.requestLine.rfind(' ');
  if (sp1 != std::string::npos && sp2 > sp1) request.target = request.requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
  while (pos < headEnd) {
    const std::size_t next = data.find("\r\n", pos + 2);
    const std::string line = data.substr(pos + 2, next - pos - 2);
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
      std::string value = line.substr(colon + 1);
      while (!value.empty() && value.front() == ' ') value.erase(0, 1);
      request.headers.emplace_back(line.substr(0, colon), value);
    }
    pos = next;
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }

  HttpRoute route = NextRoute(PathOf(request.target));
  if (route.silentMs != 0 && !WaitMs(fd, route.silentMs)) return;
  if (route.silentMs < 0) return;

  int status = route.status;
  std::string reason = route.reason;
  if (!route.redirectTo.empty() && (status < 300 || status > 399)) {
    status = 302;
    reason = "Found";
  }
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
  if (!route.redirectTo.empty()) head += "Location: " + route.redirectTo + "\r\n";
  for (const auto& [k, v] : route.headers) head += k + ": " + v + "\r\n";
  head += "Content-Length: " + std::to_string(route.body.size()) + "\r\nConnection: close\r\n\r\n";
  if (!SendAll(fd, head)) return;
  if (route.dripBytes == 0) {
    SendAll(fd, route.body);
  } else {
    for (std::size_t at = 0; at < route.body.size(); at += route.dripBytes) {
      if (!SendAll(fd, route.body.substr(at, route.dripBytes))) return;
      if (!WaitMs(fd, route.dripPauseMs)) return;
    }
  }
  ::shutdown(fd, SHUT_WR);
  WaitMs(fd, 200);  // let the client read before the socket closes
}

}  // namespace wexmoor::testing
