// A small FTP server for tests that need several clients at once: it answers
// USER, PASS, TYPE, PWD, CWD, CDUP, MKD, PASV, STOR and QUIT by itself over
// an in-memory folder tree (login folder "/home"), one thread per client, on
// 127.0.0.1 and a free port. Faults come from hooks: turn a connection away
// with its greeting, or hold a STOR's data unread until the client gives up.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace wexmoor::testing {

class MultiFtpServer {
 public:
  MultiFtpServer();
  ~MultiFtpServer();
  MultiFtpServer(const MultiFtpServer&) = delete;
  MultiFtpServer& operator=(const MultiFtpServer&) = delete;

  int port() const { return port_; }

  // Hooks, set before the first client. `greeting(n)`: the greeting for the
  // n-th connection (1-based); empty means "220 ready". A greeting that does
  // not begin with 220 is followed by a close.
  std::function<std::string(int connection)> greeting;
  // `stallStore(path, attempt)`: true keeps the data of this STOR (attempt
  // 1-based per path) unread, and no reply comes.
  std::function<bool(const std::string& path, int attempt)> stallStore;

  // Results.
  std::map<std::string, std::string> Files() const;  // absolute path -> bytes
  int StoreCount(const std::string& path) const;
  // Every command of connection `n` (1-based), in order.
  std::vector<std::string> Commands(int connection) const;
  int Connections() const;
  // Control and data connections the server holds open now.
  int OpenSockets() const;
  // Transfers (STOR accepted, data not yet complete) going on now.
  int StoresInProgress() const;

 private:
  struct Client;
  void Accept(std::stop_token stop);
  void Serve(int fd, int number, std::stop_token stop);

  int listenFd_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> files_;
  std::set<std::string> folders_{"/home"};
  std::map<std::string, int> stores_;
  std::vector<std::vector<std::string>> commands_;
  std::atomic<int> openSockets_{0};
  std::atomic<int> storesInProgress_{0};
  std::vector<std::jthread> clients_;
  std::jthread acceptor_;
};

}  // namespace wexmoor::testing
