// A scripted FTP server for tests: listens on 127.0.0.1 and a free port and
// plays a script of steps against its client, in a thread of its own.
//
//   FakeFtpServer server;
//   server.Send("220 hi\r\n").Reply("USER", "331 password?").Reply("PASS", "230 in")
//         .Pasv("PASV").Reply("STOR", "150 go").AcceptData().ReceiveData().CloseData()
//         .Send("226 done\r\n");
//   server.Start();
//   ... point the client at 127.0.0.1:server.port() ...
//   server.WaitFinished(5000);
//   EXPECT_EQ(server.DataReceived(), "...");
//
// The script starts once the first client connects. Every command line the
// server reads (without CR LF) is recorded; after the last step the server
// keeps reading and recording until the client closes. Problems (a command
// that does not match an Expect, a wait that ran out) are recorded as texts
// and end the script. Waits inside steps are bounded (10 s) and end at once
// when the server is destroyed.
//
// Data connections: passive mode opens a data listener on 127.0.0.1 and a free
// port; active mode dials 127.0.0.1 and the port of the last PORT command
// received, whatever address that command announced (never any other host).
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace wexmoor::testing {

class FakeFtpServer {
 public:
  FakeFtpServer();
  ~FakeFtpServer();
  FakeFtpServer(const FakeFtpServer&) = delete;
  FakeFtpServer& operator=(const FakeFtpServer&) = delete;

  int port() const { return port_; }

  // --- Script steps (add before Start) ---
  // Sends bytes on the control connection as they are.
  FakeFtpServer& Send(std::string bytes);
  // Sends the pieces one after the other with `delayMs` before each but the first.
  FakeFtpServer& SendPieces(std::vector<std::string> pieces, int delayMs);
  // Sends `unit` again and again, `delayMs` apart, until `maxBytes` went out
  // or the client stops taking them (closed, or not reading for 10 s): a
  // server that trickles or floods. Never a problem.
  FakeFtpServer& Flood(std::string unit, int delayMs, std::size_t maxBytes);
  // Waits for the next command line and checks that it starts with `prefix`.
  // A "FEAT" the script does not expect is answered with 502 and not recorded.
  FakeFtpServer& Expect(std::string prefix);
  // Expect(prefix), then sends `reply` + CR LF.
  FakeFtpServer& Reply(std::string prefix, std::string reply);
  // The usual greeting and login: 220, USER -> 331, PASS -> 230, TYPE I -> 200.
  FakeFtpServer& Greet();
  FakeFtpServer& Login();
  // Does nothing for `ms` (still recording nothing: commands wait in the buffer).
  FakeFtpServer& Silence(int ms);
  // Closes the control connection.
  FakeFtpServer& Close();
  // Waits for the next client on the control port and goes on with it (the
  // previous control connection is closed).
  FakeFtpServer& NextClient();
  // Expect(prefix) (e.g. "PASV"), opens a data listener on 127.0.0.1 and
  // answers "227 Entering Passive Mode (127,0,0,1,p1,p2)", naming `named`
  // instead of 127.0.0.1 when given (the listener stays on 127.0.0.1).
  FakeFtpServer& Pasv(std::string prefix = "PASV", std::string named = "127.0.0.1");
  // Expect(prefix) (e.g. "EPSV"), opens a data listener on 127.0.0.1 and
  // answers "229 Entering Extended Passive Mode (|||port|)".
  FakeFtpServer& Epsv(std::string prefix = "EPSV");
  // Accepts the client's connection on the data listener (passive mode).
  FakeFtpServer& AcceptData();
  // Dials 127.0.0.1 and the port of the last PORT command (active mode).
  FakeFtpServer& ConnectData();
  // Reads the data connection until the client closes it or `maxBytes` came;
  // the bytes are added to DataReceived().
  FakeFtpServer& ReceiveData(std::size_t maxBytes = static_cast<std::size_t>(-1));
  FakeFtpServer& SendData(std::string bytes);
  // Closes the data connection (and the data listener).
  FakeFtpServer& CloseData();
  // Any other action, run on the server's thread.
  FakeFtpServer& Do(std::function<void()> action);

  // Starts the server's thread.
  void Start();
  // Waits (up to timeoutMs) until every step has run; false on time-out.
  bool WaitFinished(int timeoutMs) const;
  // Waits until the client closed the control connection after the script.
  bool WaitClientGone(int timeoutMs) const;

  // --- Results (safe to read at any time) ---
  std::vector<std::string> Commands() const;
  std::string DataReceived() const;
  std::vector<std::string> Problems() const;
  int ControlConnections() const;
  // The port named by the last PORT command, 0 when none.
  int LastPortCommandPort() const;

 private:
  class Runner;

  void Add(std::function<bool(Runner&)> run);
  void Run(std::stop_token stop);

  int listenFd_ = -1;
  int port_ = 0;
  std::vector<std::function<bool(Runner&)>> steps_;
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
  std::string data_;
  std::vector<std::string> problems_;
  int controlConnections_ = 0;
  int lastPortCommandPort_ = 0;
  std::atomic<bool> finished_{false};
  std::atomic<bool> clientGone_{false};
  std::jthread thread_;
};

}  // namespace wexmoor::testing
