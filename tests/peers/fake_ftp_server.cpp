#include "peers/fake_ftp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace wexmoor::testing {
namespace {

constexpr int kStepWaitMs = 10000;

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int ListenLoopback(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  at.sin_port = 0;
  socklen_t length = sizeof at;
  if (bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
    close(fd);
    return -1;
  }
  port = ntohs(at.sin_port);
  return fd;
}

// Waits for `events` on fd in 10 ms slices; false on time-out or stop.
bool WaitFd(int fd, short events, int timeoutMs, const std::stop_token& stop) {
  const std::int64_t end = NowMs() + timeoutMs;
  while (!stop.stop_requested()) {
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, 10);
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
    if (NowMs() > end) return false;
  }
  return false;
}

bool SleepMs(int ms, const std::stop_token& stop) {
  const std::int64_t end = NowMs() + ms;
  while (!stop.stop_requested()) {
    const std::int64_t left = end - NowMs();
    if (left <= 0) return true;
    poll(nullptr, 0, static_cast<int>(left < 10 ? left : 10));
  }
  return false;
}

bool SendAllBlocking(int fd, const std::string& bytes, const std::stop_token& stop) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (!WaitFd(fd, POLLOUT, kStepWaitMs, stop)) return false;
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

// The state of one run of the script, on the server's thread.
class FakeFtpServer::Runner {
 public:
  Runner(FakeFtpServer& server, std::stop_token stop) : server_(server), stop_(std::move(stop)) {}
  ~Runner() {
    CloseFd(control);
    CloseFd(dataListen);
    CloseFd(data);
  }

  void Problem(std::string text) {
    std::lock_guard lock(server_.mutex_);
    server_.problems_.push_back(std::move(text));
  }

  bool AcceptControl() {
    CloseFd(control);
    buffer.clear();
    // The first client may take long to come; later ones are bounded too.
    if (!WaitFd(server_.listenFd_, POLLIN, 60000, stop_)) {
      if (!stop_.stop_requested()) Problem("no client connected");
      return false;
    }
    control = accept4(server_.listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (control < 0) return false;
    std::lock_guard lock(server_.mutex_);
    ++server_.controlConnections_;
    return true;
  }

  // Reads one command line (recorded); nullopt-like false on close/time-out.
  bool ReadLine(std::string& line, int timeoutMs) {
    const std::int64_t end = NowMs() + timeoutMs;
    for (;;) {
      const std::size_t lf = buffer.find('\n');
      if (lf != std::string::npos) {
        line = buffer.substr(0, lf);
        buffer.erase(0, lf + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Record(line);
        return true;
      }
      if (control < 0) return false;
      const std::int64_t left = end - NowMs();
      if (left <= 0 || !WaitFd(control, POLLIN, static_cast<int>(left), stop_)) return false;
      char chunk[4096];
      ssize_t n = recv(control, chunk, sizeof chunk, MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) return false;
      buffer.append(chunk, static_cast<std::size_t>(n));
    }
  }

  // Takes the last recorded command back.
  void Forget(const std::string& line) {
    std::lock_guard lock(server_.mutex_);
    if (!server_.commands_.empty() && server_.commands_.back() == line) server_.commands_.pop_back();
  }

  void Record(const std::string& line) {
    std::lock_guard lock(server_.mutex_);
    server_.commands_.push_back(line);
    if (line.size() > 5 && (line.compare(0, 5, "PORT ") == 0 || line.compare(0, 5, "port ") == 0)) {
      // h1,h2,h3,h4,p1,p2: only the port is used; the host is always 127.0.0.1.
      std::vector<int> numbers;
      int value = 0;
      bool inNumber = false;
      for (char c : line.substr(5) + ",") {
        if (c >= '0' && c <= '9') {
          value = value * 10 + (c - '0');
          inNumber = true;
        } else if (inNumber) {
          numbers.push_back(value);
          value = 0;
          inNumber = false;
        }
      }
      if (numbers.size() == 6) server_.lastPortCommandPort_ = numbers[4] * 256 + numbers[5];
    }
  }

  bool SendControl(const std::string& bytes) {
    if (control < 0 || !SendAllBlocking(control, bytes, stop_)) {
      if (!stop_.stop_requested()) Problem("could not send: " + bytes);
      return false;
    }
    return true;
  }

  FakeFtpServer& server_;
  std::stop_token stop_;
  int control = -1;
  int dataListen = -1;
  int data = -1;
  std::string buffer;
};

FakeFtpServer::FakeFtpServer() { listenFd_ = ListenLoopback(port_); }

FakeFtpServer::~FakeFtpServer() {
  if (thread_.joinable()) {
    thread_.request_stop();
    thread_.join();
  }
  if (listenFd_ >= 0) close(listenFd_);
}

void FakeFtpServer::Add(std::function<bool(Runner&)> run) { steps_.push_back(std::move(run)); }

FakeFtpServer& FakeFtpServer::Send(std::string bytes) {
  Add([bytes = std::move(bytes)](Runner& r) { return r.SendControl(bytes); });
  return *this;
}

FakeFtpServer& FakeFtpServer::SendPieces(std::vector<std::string> pieces, int delayMs) {
  Add([pieces = std::move(pieces), delayMs](Runner& r) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (i > 0 && !SleepMs(delayMs, r.stop_)) return false;
      if (!r.SendControl(pieces[i])) return false;
    }
    return true;
  });
  return *this;
}

FakeFtpServer& FakeFtpServer::Flood(std::string unit, int delayMs, std::size_t maxBytes) {
  Add([unit = std::move(unit), delayMs, maxBytes](Runner& r) {
    for (std::size_t sent = 0; sent < maxBytes; sent += unit.size()) {
      if (sent > 0 && delayMs > 0 && !SleepMs(delayMs, r.stop_)) return false;
      if (r.control < 0 || !SendAllBlocking(r.control, unit, r.stop_)) break;
    }
    return true;
  });
  return *this;
}

FakeFtpServer& FakeFtpServer::Expect(std::string prefix) {
  Add([prefix = std::move(prefix)](Runner& r) {
    std::string line;
    if (!r.ReadLine(line, kStepWaitMs)) {
      if (!r.stop_.stop_requested()) r.Problem("expected " + prefix + ", got nothing");
      return false;
    }
    // A client that asks for the features of a script that does not say:
    // this server has none to tell.
    while (line == "FEAT" && prefix != "FEAT") {
      r.Forget(line);
      if (!r.SendControl("502 Command not implemented\r\n") || !r.ReadLine(line, kStepWaitMs)) return false;
    }
    if (line.compare(0, prefix.size(), prefix) != 0) {
      r.Problem("expected " + prefix + ", got " + line);
      return false;
    }
    return true;
  });
  return *this;
}

FakeFtpServer& FakeFtpServer::Reply(std::string prefix, std::string reply) {
  Expect(std::move(prefix));
  return Send(reply + "\r\n");
}

FakeFtpServer& FakeFtpServer::Greet() { return Send("220 Fake server ready\r\n"); }

FakeFtpServer& FakeFtpServer::Login() {
  return Reply("USER", "331 Password required").Reply("PASS", "230 Logged in").Reply("TYPE I", "200 Type set to I");
}

FakeFtpServer& FakeFtpServer::Silence(int ms) {
  Add([ms](Runner& r) { return SleepMs(ms, r.stop_); });
  return *this;
}

FakeFtpServer& FakeFtpServer::Close() {
  Add([](Runner& r) {
    CloseFd(r.control);
    return true;
  });
  return *this;
}

FakeFtpServer& FakeFtpServer::NextClient() {
  Add([](Runner& r) { return r.AcceptControl(); });
  return *this;
}

FakeFtpServer& FakeFtpServer::Pasv(std::string prefix, std::string named) {
  Expect(std::move(prefix));
  for (char& c : named) c = c == '.' ? ',' : c;
  Add([named](Runner& r) {
    CloseFd(r.dataListen);
    int dataPort = 0;
    r.dataListen = ListenLoopback(dataPort);
    if (r.dataListen < 0) {
      r.Problem("no data listener");
      return false;
    }
    return r.SendControl("227 Entering Passive Mode (" + named + "," + std::to_string(dataPort / 256) + "," +
                         std::to_string(dataPort % 256) + ")\r\n");
  });
  return *this;
}

FakeFtpServer& FakeFtpServer::Epsv(std::string prefix) {
  Expect(std::move(prefix));
  Add([](Runner& r) {
    CloseFd(r.dataListen);
    int dataPort = 0;
    r.dataListen = ListenLoopback(dataPort);
    if (r.dataListen < 0) {
      r.Problem("no data listener");
      return false;
    }
    return r.SendControl("229 Entering Extended Passive Mode (|||" + std::to_string(dataPort) + "|)\r\n");
  });
  return *this;
}

FakeFtpServer& FakeFtpServer::AcceptData() {
  Add([](Runner& r) {
    if (r.dataListen < 0 || !WaitFd(r.dataListen, POLLIN, kStepWaitMs, r.stop_)) {
      if (!r.stop_.stop_requested()) r.Problem("no data connection came");
      return false;
    }
    CloseFd(r.data);
    r.data = accept4(r.dataListen, nullptr, nullptr, SOCK_CLOEXEC);
    return r.data >= 0;
  });
  return *this;
}

FakeFtpServer& FakeFtpServer::ConnectData() {
  Add([this](Runner& r) {
    int dataPort = 0;
    {
      std::lock_guard lock(mutex_);
      dataPort = lastPortCommandPort_;
    }
    CloseFd(r.data);
    r.data = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<std::uint16_t>(dataPort));
    if (dataPort <= 0 || r.data < 0 || connect(r.data, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
      r.Problem("could not dial the PORT address");
      CloseFd(r.data);
      return false;
    }
    return true;
  });
  return *this;
}

FakeFtpServer& FakeFtpServer::ReceiveData(std::size_t maxBytes) {
  Add([this, maxBytes](Runner& r) {
    std::size_t got = 0;
    char chunk[65536];
    while (r.data >= 0 && got < maxBytes) {
      if (!WaitFd(r.data, POLLIN, kStepWaitMs, r.stop_)) {
        if (!r.stop_.stop_requested()) r.Problem("data stopped coming");
        return false;
      }
      const std::size_t room = std::min(sizeof chunk, maxBytes - got);
      ssize_t n = recv(r.data, chunk, room, MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
      std::lock_guard lock(mutex_);
      data_.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
  });
  return *this;
}

FakeFtpServer& FakeFtpServer::SendData(std::string bytes) {
  Add([bytes = std::move(bytes)](Runner& r) {
    if (r.data < 0 || !SendAllBlocking(r.data, bytes, r.stop_)) {
      if (!r.stop_.stop_requested()) r.Problem("could not send data");
      return false;
    }
    return true;
  });
  return *this;
}

FakeFtpServer& FakeFtpServer::CloseData() {
  Add([](Runner& r) {
    CloseFd(r.data);
    CloseFd(r.dataListen);
    return true;
  });
  return *this;
}

FakeFtpServer& FakeFtpServer::Do(std::function<void()> action) {
  Add([action = std::move(action)](Runner&) {
    action();
    return true;
  });
  return *this;
}

void FakeFtpServer::Start() {
  thread_ = std::jthread([this](std::stop_token stop) { Run(std::move(stop)); });
}

void FakeFtpServer::Run(std::stop_token stop) {
  Runner runner(*this, stop);
  if (listenFd_ < 0 || !runner.AcceptControl()) {
    finished_ = true;
    clientGone_ = true;
    return;
  }
  for (auto& step : steps_) {
    if (stop.stop_requested() || !step(runner)) break;
  }
  finished_ = true;
  // Keep listening to the client until it goes, recording what it says.
  std::string line;
  while (!stop.stop_requested() && runner.control >= 0) {
    if (!runner.ReadLine(line, 100)) {
      if (runner.control < 0) break;
      pollfd p{runner.control, POLLIN, 0};
      if (poll(&p, 1, 0) > 0) {
        char probe;
        if (recv(runner.control, &probe, 1, MSG_PEEK | MSG_DONTWAIT) == 0) break;
      }
    }
  }
  clientGone_ = true;
}

bool FakeFtpServer::WaitFinished(int timeoutMs) const {
  const std::int64_t end = NowMs() + timeoutMs;
  while (!finished_) {
    if (NowMs() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool FakeFtpServer::WaitClientGone(int timeoutMs) const {
  const std::int64_t end = NowMs() + timeoutMs;
  while (!clientGone_) {
    if (NowMs() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::vector<std::string> FakeFtpServer::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

std::string FakeFtpServer::DataReceived() const {
  std::lock_guard lock(mutex_);
  return data_;
}

std::vector<std::string> FakeFtpServer::Problems() const {
  std::lock_guard lock(mutex_);
  return problems_;
}

int FakeFtpServer::ControlConnections() const {
  std::lock_guard lock(mutex_);
  return controlConnections_;
}

int FakeFtpServer::LastPortCommandPort() const {
  std::lock_guard lock(mutex_);
  return lastPortCommandPort_;
}

}  // namespace wexmoor::testing
