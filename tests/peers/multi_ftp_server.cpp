#include "peers/multi_ftp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace wexmoor::testing {
namespace {

int Listener(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(fd, 64) != 0) {
    close(fd);
    return -1;
  }
  socklen_t length = sizeof at;
  getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
  port = ntohs(at.sin_port);
  return fd;
}

// Waits up to `ms` for `fd` to be readable, in slices watching `stop`.
bool Readable(int fd, int ms, const std::stop_token& stop) {
  for (int waited = 0; waited < ms && !stop.stop_requested(); waited += 10) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10) > 0) return true;
  }
  return false;
}

void SendLine(int fd, const std::string& line) {
  const std::string bytes = line + "\r\n";
  send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

std::string Join(const std::string& folder, const std::string& name) {
  if (name.starts_with("/")) return name;
  return folder == "/" ? "/" + name : folder + "/" + name;
}

}  // namespace

MultiFtpServer::MultiFtpServer() {
  listenFd_ = Listener(port_);
  acceptor_ = std::jthread([this](std::stop_token stop) { Accept(stop); });
}

MultiFtpServer::~MultiFtpServer() {
  acceptor_.request_stop();
  if (acceptor_.joinable()) acceptor_.join();
  for (auto& client : clients_) client.request_stop();
  clients_.clear();  // joins
  if (listenFd_ >= 0) close(listenFd_);
}

void MultiFtpServer::Accept(std::stop_token stop) {
  int number = 0;
  while (!stop.stop_requested()) {
    if (!Readable(listenFd_, 50, stop)) continue;
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++number;
    {
      std::lock_guard lock(mutex_);
      commands_.emplace_back();
    }
    ++openSockets_;
    clients_.emplace_back([this, fd, number](std::stop_token clientStop) { Serve(fd, number, clientStop); });
  }
}

void MultiFtpServer::Serve(int fd, int number, std::stop_token stop) {
  const std::string greet = greeting ? greeting(number) : std::string();
  SendLine(fd, greet.empty() ? "220 ready" : greet);
  int dataListener = -1;
  std::string folder = "/home";
  std::string pending;
  auto closeAll = [&] {
    if (dataListener >= 0) close(dataListener);
    close(fd);
    --openSockets_;
  };
  if (!greet.empty() && !greet.starts_with("220")) return closeAll();
  for (;;) {
    std::size_t end;
    while ((end = pending.find("\r\n")) == std::string::npos) {
      if (!Readable(fd, 60000, stop)) return closeAll();
      char buffer[4096];
      const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) return closeAll();
      pending.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string line = pending.substr(0, end);
    pending.erase(0, end + 2);
    {
      std::lock_guard lock(mutex_);
      commands_[static_cast<std::size_t>(number - 1)].push_back(line);
    }
    const std::string verb = line.substr(0, line.find(' '));
    const std::string argument = line.size() > verb.size() + 1 ? line.substr(verb.size() + 1) : std::string();
    if (verb == "USER") {
      SendLine(fd, "331 password please");
    } else if (verb == "PASS") {
      SendLine(fd, "230 logged in");
    } else if (verb == "TYPE") {
      SendLine(fd, "200 binary");
    } else if (verb == "PWD") {
      SendLine(fd, "257 \"" + folder + "\" is the current folder");
    } else if (verb == "CWD" || verb == "CDUP") {
      std::string target = verb == "CDUP" ? folder.substr(0, std::max<std::size_t>(folder.rfind('/'), 1))
                                          : Join(folder, argument);
      std::lock_guard lock(mutex_);
      if (folders_.contains(target)) {
        folder = target;
        SendLine(fd, "250 ok");
      } else {
        SendLine(fd, "550 no such folder");
      }
    } else if (verb == "MKD") {
      std::lock_guard lock(mutex_);
      folders_.insert(Join(folder, argument));
      SendLine(fd, "257 made");
    } else if (verb == "PASV") {
      if (dataListener >= 0) close(dataListener);
      int dataPort = 0;
      dataListener = Listener(dataPort);
      SendLine(fd, "227 Entering Passive Mode (127,0,0,1," + std::to_string(dataPort / 256) + "," +
                       std::to_string(dataPort % 256) + ")");
    } else if (verb == "STOR") {
      const std::string path = Join(folder, argument);
      int attempt = 0;
      {
        std::lock_guard lock(mutex_);
        attempt = ++stores_[path];
      }
      SendLine(fd, "150 go ahead");
      if (dataListener < 0 || !Readable(dataListener, 10000, stop)) return closeAll();
      const int data = accept4(dataListener, nullptr, nullptr, SOCK_CLOEXEC);
      close(dataListener);
      dataListener = -1;
      if (data < 0) return closeAll();
      ++openSockets_;
      ++storesInProgress_;
      std::string bytes;
      bool whole = false;
      if (stallStore && stallStore(path, attempt)) {
        // Nothing is read and no reply comes, until the client gives up on
        // the control connection (or the server ends).
        while (!stop.stop_requested()) {
          pollfd p{fd, POLLIN, 0};
          if (poll(&p, 1, 10) > 0) break;
        }
      } else {
        for (;;) {
          if (!Readable(data, 10000, stop)) break;
          char buffer[65536];
          const ssize_t got = recv(data, buffer, sizeof buffer, 0);
          if (got < 0) break;
          if (got == 0) {
            whole = true;
            break;
          }
          bytes.append(buffer, static_cast<std::size_t>(got));
        }
      }
      close(data);
      --openSockets_;
      --storesInProgress_;
      if (!whole) return closeAll();
      {
        std::lock_guard lock(mutex_);
        files_[path] = bytes;
      }
      SendLine(fd, "226 stored");
    } else if (verb == "QUIT") {
      SendLine(fd, "221 bye");
      return closeAll();
    } else {
      SendLine(fd, "502 not here");
    }
  }
}

std::map<std::string, std::string> MultiFtpServer::Files() const {
  std::lock_guard lock(mutex_);
  return files_;
}

int MultiFtpServer::StoreCount(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = stores_.find(path);
  return it == stores_.end() ? 0 : it->second;
}

std::vector<std::string> MultiFtpServer::Commands(int connection) const {
  std::lock_guard lock(mutex_);
  if (connection < 1 || connection > static_cast<int>(commands_.size())) return {};
  return commands_[static_cast<std::size_t>(connection - 1)];
}

int MultiFtpServer::Connections() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(commands_.size());
}

int MultiFtpServer::OpenSockets() const { return openSockets_.load(); }

int MultiFtpServer::StoresInProgress() const { return storesInProgress_.load(); }

}  // namespace wexmoor::testing
