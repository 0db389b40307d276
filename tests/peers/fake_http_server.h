// A scripted HTTP/1.1 server on 127.0.0.1 and a free port, for the web tests.
// Each path has a route (status, headers, body, redirect, silence, drip);
// every request is recorded with its request line and headers.
#pragma once

#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace wexmoor::testing {

struct HttpRoute {
  int status = 200;
  std::string reason = "OK";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // When set: status 302 (unless another 3xx is given) with this Location.
  std::string redirectTo;
  // Wait this long after the request before answering; -1 = never answer
  // (the connection stays open and silent until the client leaves).
  int silentMs = 0;
  // Send the body in pieces of this size with a pause between them.
  std::size_t dripBytes = 0;
  int dripPauseMs = 0;
};

struct RecordedRequest {
  std::string requestLine;  // "GET /path HTTP/1.1"
  std::string target;       // "/path?query"
  std::vector<std::pair<std::string, std::string>> headers;
  // The value of a header (name compared without regard to case), or "".
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

class FakeHttpServer {
 public:
  FakeHttpServer();
  ~FakeHttpServer();
  FakeHttpServer(const FakeHttpServer&) = delete;
  FakeHttpServer& operator=(const FakeHttpServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>"
  std::string BaseUrl() const;

  // The route for a path (the target without its query). Successive requests
  // take successive routes of a sequence; the last one then repeats.
  void SetRoute(const std::string& path, HttpRoute route);
  void SetRouteSequence(const std::string& path, std::vector<HttpRoute> routes);

  std::vector<RecordedRequest> Requests() const;
  // Requests whose target without query is `path`.
  std::vector<RecordedRequest> RequestsFor(const std::string& path) const;

 private:
  void AcceptLoop();
  void Serve(int fd);
  HttpRoute NextRoute(const std::string& path);
  bool WaitMs(int fd, int ms);

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::map<std::string, std::vector<HttpRoute>> routes_;
  std::map<std::string, std::size_t> served_;
  std::vector<RecordedRequest> requests_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

}  // namespace wexmoor::testing
