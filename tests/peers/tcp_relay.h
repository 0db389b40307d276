// A TCP relay on 127.0.0.1 and a free port to another local port, for
// faults a real server cannot be asked for: Cut() drops every relayed
// connection at once; Hold(true) stops moving bytes (a silent peer) until
// Hold(false).
#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace wexmoor::testing {

class TcpRelay {
 public:
  explicit TcpRelay(int targetPort);
  ~TcpRelay();
  TcpRelay(const TcpRelay&) = delete;
  TcpRelay& operator=(const TcpRelay&) = delete;

  int port() const { return port_; }
  void Cut() { cut_.store(true); }
  void Hold(bool hold) { hold_.store(hold); }
  // Cuts carried out so far (a Cut() is carried out within a poll slice).
  int cutsDone() const { return cutsDone_.load(); }
  // Connections accepted so far.
  int accepted() const { return accepted_.load(); }

 private:
  void Run(std::stop_token stop);

  int targetPort_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> cut_{false};
  std::atomic<bool> hold_{false};
  std::atomic<int> accepted_{0};
  std::atomic<int> cutsDone_{0};
  std::jthread thread_;
};

}  // namespace wexmoor::testing
