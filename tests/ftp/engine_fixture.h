// Shared set-up of the engine tests: a session on a fake clock, a scripted
// server, a server record pointing at it, and recording status targets.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "ftp/control_connection.h"
#include "ftp/ftp_session.h"
#include "ftp/status_target.h"
#include "peers/fake_ftp_server.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/socket.h"
#include "model/server_table.h"
#include "support/recording_status.h"

namespace wexmoor::testing {



// The log's lines in UTF-8 with their "hh:mm:ss: " prefix removed (lines of
// a multi-line entry after the first have none).
inline std::vector<std::string> LogLines(const FtpSession& session) {
  std::vector<std::string> lines;
  const std::string text = Utf16ToUtf8(session.Log().Get());
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find("\r\n", from);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(from, end - from);
    if (line.size() >= 10 && line[2] == ':' && line[5] == ':' && line[8] == ':' && line[9] == ' ') line.erase(0, 10);
    lines.push_back(line);
    from = end + 2;
  }
  return lines;
}

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() : session(clock, ports, lastProgress) { session.SetIpEchoUrl({}); }

  ServerRecord Record(int timeOut = 1500) const {
    ServerRecord r;
    r.name = u"fake";
    r.address = u"127.0.0.1";
    r.port = server.port();
    r.login = u"user";
    r.password = u"Secret";
    r.timeOut = timeOut;
    return r;
  }

  // Opens a plain TCP connection to the fake server for the low-level tests.
  int Dial() { return ConnectTcp("127.0.0.1", server.port(), 2000, {}); }

  // Connects and logs in (the script must start with Greet().Login()), then
  // empties the log so that a test sees only its own exchanges.
  bool LogIn(ServerRecord& record);

  // True when a listener can be made on `port` just now.
  static bool PortFree(int port) {
    const int probe = ListenTcp(port);
    CloseSocket(probe);
    return probe != 0;
  }

  FakeClock clock;
  ListenerPortSequence ports;
  std::atomic<std::int64_t> lastProgress{0};
  FtpSession session;
  FakeFtpServer server;
  RecordingStatus status;
};

inline bool EngineTest::LogIn(ServerRecord& record) {
  OpenControlConnection(session, record, nullptr);
  if (session.controlConnection() == 0) return false;
  if (Login(session, session.controlConnection(), record, nullptr) != 1) return false;
  session.Log().Clear();
  return true;
}

}  // namespace wexmoor::testing
