#include "ftp/data_channel.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

#include <chrono>

#include "ftp/control_connection.h"
#include "ftp/engine_fixture.h"
#include "ftp/reply_reader.h"
#include "ftp/visible_address.h"
#include "peers/fake_http_server.h"

namespace wexmoor::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

TEST(ListenerPortSequenceTest, RunsFrom6001To6099ThenWrapsTo6000) {
  ListenerPortSequence ports;
  EXPECT_EQ(ports.Current(), 6000);
  EXPECT_EQ(ports.Next(), 6001);
  for (int i = 2; i <= 99; ++i) EXPECT_EQ(ports.Next(), 6000 + i);
  EXPECT_EQ(ports.Current(), 6099);
  EXPECT_EQ(ports.Next(), 6000);  // the 100th
  EXPECT_EQ(ports.Next(), 6001);
}

TEST(PasvParseTest, AddressAndPortFromTheParentheses) {
  EXPECT_EQ(ParsePasvAddress(u"227 Entering Passive Mode (192,168,1,2,19,137)."), u"192.168.1.2");
  EXPECT_EQ(ParsePasvPort(u"227 Entering Passive Mode (192,168,1,2,19,137)."), 5001);
  EXPECT_EQ(ParsePasvPort(u"227 x ( 127,0,0,1, 4,\t1)"), 1025);
  // Without parentheses: an empty address of three dots and port 0.
  EXPECT_EQ(ParsePasvAddress(u"227 Entering Passive Mode 192,168,1,2,19,137"), u"...");
  EXPECT_EQ(ParsePasvPort(u"227 Entering Passive Mode 192,168,1,2,19,137"), 0);
  EXPECT_EQ(ParsePasvAddress(u"227 (1,2"), u"...");  // no closing parenthesis
}

TEST(VisibleAddressPageTest, MarkersAreTriedInOrder) {
  EXPECT_EQ(ParseVisibleAddressPage(u"<p>IP Address properties of your Internet Connection 203.0.113.7 more</p>"),
            u"203.0.113.7");
  EXPECT_EQ(ParseVisibleAddressPage(u"<b>IP Address properties of 198.51.100.4 </b>"), u"198.51.100.4");
  EXPECT_EQ(ParseVisibleAddressPage(u"x displaycopy('192.0.2.1');"), u"192.0.2.1');");
  // No marker past the first character: the first 28 characters, trimmed,
  // the last marker removed, cut at the first space.
  EXPECT_EQ(ParseVisibleAddressPage(u"  10.1.2.3 is what we see of you today"), u"10.1.2.3");
  EXPECT_EQ(ParseVisibleAddressPage(u"displaycopy('10.9.8.7')"), u"10.9.8.7')");
  EXPECT_EQ(ParseVisibleAddressPage(u""), u"");
}

TEST_F(EngineTest, VisibleAddressFromTheEchoPageReadsAtMost255Bytes) {
  FakeHttpServer http;
  HttpRoute route;
  route.body = std::string(300, 'x');
  http.SetRoute("/long", route);
  route.body = "<html>IP Address properties of your Internet Connection 203.0.113.9 </html>";
  http.SetRoute("/ip", route);
  session.SetIpEchoUrl(Utf8ToUtf16(http.BaseUrl() + "/ip"));
  EXPECT_EQ(LookUpVisibleAddress(session), u"203.0.113.9");
  session.SetIpEchoUrl(Utf8ToUtf16(http.BaseUrl() + "/long"));
  EXPECT_EQ(LookUpVisibleAddress(session), Text(28, u'x'));
  session.SetIpEchoUrl({});
  EXPECT_EQ(LookUpVisibleAddress(session), u"");
  EXPECT_EQ(http.Requests().size(), 2u);
}

TEST_F(EngineTest, RouterModeWithoutPageCannotAnnounceAnAddress) {
  server.Greet().Login();
  server.Start();
  ServerRecord record = Record();
  record.active = 1;
  record.ipRouter = 1;
  OpenControlConnection(session, record, nullptr);
  ASSERT_EQ(Login(session, session.controlConnection(), record, nullptr), 1);
  session.Log().Clear();
  EXPECT_EQ(OpenDataChannel(session, session.controlConnection(), record, nullptr), -1);
  EXPECT_THAT(LogLines(session), ElementsAre("!!--- Unable to establish Data PORT ----- Couldn't determine the "
                                             "visible IP Address - PORT mode unavailable"));
  EXPECT_EQ(ports.Current(), 6000);  // no port used up
}

TEST_F(EngineTest, PasvConnectsAndLogsTheAddress) {
  server.Greet().Login().Pasv().AcceptData().SendData("hello").CloseData();
  server.Start();
  ServerRecord record = Record();
  OpenControlConnection(session, record, nullptr);
  ASSERT_EQ(Login(session, session.controlConnection(), record, nullptr), 1);
  session.Log().Clear();
  EXPECT_EQ(OpenDataChannel(session, session.controlConnection(), record, nullptr), 1);
  EXPECT_NE(session.dataConnection, 0);
  EXPECT_EQ(session.dataConnectionKind, u"server");
  const std::vector<std::string> lines = LogLines(session);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "<--->PASV");
  EXPECT_TRUE(lines[2].starts_with("----- Connection to [127.0.0.1 Port: ")) << lines[2];
  EXPECT_TRUE(lines[2].ends_with("]"));
  EXPECT_EQ(ReadReply(session, session.dataConnection, record, 1, nullptr), u"hello");
  // A passive channel closes without a word.
  const std::size_t before = LogLines(session).size();
  CloseDataChannel(session, nullptr);
  EXPECT_EQ(session.dataConnection, 0);
  EXPECT_EQ(LogLines(session).size(), before);
}

TEST_F(EngineTest, RefusedPasvIsRetriedAsPassive) {
  server.Greet().Login().Reply("PASV", "502 not here").Pasv("passive").AcceptData();
  server.Start();
  ServerRecord record = Record(400);
  OpenControlConnection(session, record, nullptr);
  ASSERT_EQ(Login(session, session.controlConnection(), record, nullptr), 1);
  session.Log().Clear();
  EXPECT_EQ(OpenDataChannel(session, session.controlConnection(), record, nullptr), 1);
  const std::vector<std::string> lines = LogLines(session);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "<--->PASV");
  // 502 is final: the exchange ends on it, without waiting for more.
  EXPECT_EQ(lines[1], ">---<502 not here");
  EXPECT_EQ(lines[2], "!!--- Error while PASV: 502 not here");
  EXPECT_EQ(lines[3], "<--->passive");
  EXPECT_NE(session.dataConnection, 0);
}

TEST_F(EngineTest, PasvWithoutParenthesesFailsFastWithoutDialling) {
  server.Greet().Login().Reply("PASV", "227 Entering Passive Mode 192,168,1,2,19,137");
  server.Start();
  ServerRecord record = Record(5000);
  OpenControlConnection(session, record, nullptr);
  ASSERT_EQ(Login(session, session.controlConnection(), record, nullptr), 1);
  session.Log().Clear();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OpenPassive(session, session.controlConnection(), record, u"PASV", nullptr), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(session.dataConnection, 0);
  EXPECT_EQ(LogLines(session).back(), "!!--- Unable to establish PASV ----- Connection to [127.0.0.1 Port: 0]");
}

TEST_F(EngineTest, PortAnnouncesTheVisibleAddressAndTheNextListenerPort) {
  const int probe = ListenTcp(6001);
  if (probe == 0) GTEST_SKIP() << "port 6001 is in use on this machine";
  CloseSocket(probe);
  server.Greet().Login().Reply("PORT", "200 ok").Reply("PORT", "500 no");
  server.Start();
  ServerRecord record = Record(400);
  record.active = 1;
  OpenControlConnection(session, record, nullptr);
  ASSERT_EQ(Login(session, session.controlConnection(), record, nullptr), 1);
  session.Log().Clear();
  session.visibleAddress = u"10.0.0.5";  // announced only; the fake server never dials it
  const int opened = OpenDataChannel(session, session.controlConnection(), record, nullptr);
  if (opened != 1 && LogLines(session).back() == "!!--- Unable to establish Data PORT ") {
    GTEST_SKIP() << "port 6001 was taken meanwhile";
  }
  EXPECT_EQ(opened, 1);
  EXPECT_NE(session.listener, 0);
  CloseDataChannel(session, nullptr);
  EXPECT_EQ(session.listener, 0);
  EXPECT_THAT(LogLines(session), ElementsAre("----- Internal PORT 6001 has been created", "<--->PORT 10,0,0,5,23,113",
                                             ">---<200 ok", "----- Internal PORT 6001 has been closed"));
  session.Log().Clear();
  // A refused PORT closes its listener at once.
  EXPECT_EQ(OpenActive(session, session.controlConnection(), record, nullptr), -1);
  EXPECT_EQ(session.listener, 0);
  const std::vector<std::string> lines = LogLines(session);
  EXPECT_EQ(lines[1], "<--->PORT 10,0,0,5,23,114");
  EXPECT_EQ(lines.back(), "!!--- The server does not answer to the PORT command!");
  EXPECT_EQ(server.LastPortCommandPort(), 6002);
}

TEST_F(EngineTest, LocalAddressIsTheControlConnectionsOwn) {
  server.Greet();
  server.Start();
  ServerRecord record = Record();
  OpenControlConnection(session, record, nullptr);
  ASSERT_NE(session.controlConnection(), 0);
  EXPECT_EQ(LocalAddress(session), u"127.0.0.1");
  Disconnect(session, nullptr);
  EXPECT_FALSE(LocalAddress(session).empty());  // from the host name, or 0.0.0.0
}

// Active mode: a connection to the listener from anyone but the server is
// closed unread, and the wait goes on for the server's.
TEST_F(EngineTest, ActiveModeTakesTheDataConnectionOnlyFromTheServer) {
  const int skip = 5 + static_cast<int>(std::random_device{}() % 90);
  for (int i = 0; i < skip; ++i) ports.Next();
  if (!PortFree(ports.Current() + 1)) GTEST_SKIP() << "listener port in use on this machine";
  int stranger = -1;
  server.Greet().Login().Reply("PORT", "200 ok")
      .Do([&] {
        // Another host (127.0.0.2 on the loopback) dials first.
        stranger = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        ::inet_pton(AF_INET, "127.0.0.2", &from.sin_addr);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(server.LastPortCommandPort()));
        ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        if (::bind(stranger, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
            ::connect(stranger, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
          ::close(stranger);
          stranger = -1;
        }
      })
      .ConnectData();
  server.Start();
  ServerRecord record = Record(3000);
  record.active = 1;
  ASSERT_TRUE(LogIn(record));
  session.visibleAddress = u"127.0.0.1";
  ASSERT_EQ(OpenDataChannel(session, session.controlConnection(), record, nullptr), 1);
  ASSERT_TRUE(server.WaitFinished(5000));
  ASSERT_NE(stranger, -1);
  AwaitDataConnection(session, record);
  ASSERT_NE(session.dataConnection, 0);
  EXPECT_EQ(PeerAddress(session.dataConnection), "127.0.0.1");
  EXPECT_THAT(LogLines(session), Contains("----- Closed a data connection from 127.0.0.2, which is not the server"));
  char byte = 0;
  EXPECT_EQ(WaitReadable(stranger, 3000, {}), WaitResult::kReady);
  EXPECT_EQ(::recv(stranger, &byte, 1, MSG_DONTWAIT), 0);  // closed, nothing sent
  ::close(stranger);
  CloseDataChannel(session, nullptr);
}

}  // namespace
}  // namespace wexmoor::testing
