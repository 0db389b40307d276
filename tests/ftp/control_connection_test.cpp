#include "ftp/control_connection.h"

#include <chrono>

#include "ftp/engine_fixture.h"
#include "ftp/reply_reader.h"

namespace wexmoor::testing {
namespace {

using ::testing::ElementsAre;

TEST(SplitServerAddressTest, BackSlashesSlashesAndBareHosts) {
  ServerAddressParts p = SplitServerAddress(u"host\\dir\\sub");
  EXPECT_EQ(p.host, u"host");
  EXPECT_EQ(p.folderPath, u"dir/sub/");
  p = SplitServerAddress(u"host/");
  EXPECT_EQ(p.host, u"host");
  EXPECT_EQ(p.folderPath, u"");
  p = SplitServerAddress(u"host//");
  EXPECT_EQ(p.folderPath, u"");
  p = SplitServerAddress(u"host");
  EXPECT_EQ(p.host, u"host");
  EXPECT_EQ(p.folderPath, u"");
  p = SplitServerAddress(u"host/upload/images/");
  EXPECT_EQ(p.folderPath, u"upload/images/");
}

TEST_F(EngineTest, LoginStepsAndTheOptionalUtf8Switch) {
  server.Greet()
      .Login()
      .Reply("opts utf8 on", "501 not understood");
  server.Start();
  ServerRecord record = Record(400);
  record.useUtf8Opt = 1;
  OpenControlConnection(session, record, &status);
  ASSERT_NE(session.controlConnection(), 0);
  EXPECT_EQ(Login(session, session.controlConnection(), record, &status), 1);
  EXPECT_THAT(LogLines(session),
              ElementsAre("----- Connected to 127.0.0.1", ">---<220 Fake server ready", "<--->USER user",
                          ">---<331 Password required", "<--->PASS ****", ">---<230 Logged in", "<--->FEAT",
                          ">---<502 Command not implemented", "<--->TYPE I", ">---<200 Type set to I",
                          "<--->opts utf8 on", ">---<501 not understood"));
  // A final reply ends the exchange at once, listed or not.
  EXPECT_EQ(status.Lines().back().substr(8), ": >---<501 not understood");
  EXPECT_NE(session.controlConnection(), 0);
}

// A server whose FEAT lists UTF8 hears every name in UTF-8, whatever the
// record says; otherwise a name the conversation's character set cannot hold
// is not sent at all (never with "?" in it).
TEST_F(EngineTest, NamesGoOutAsTheyAreOrNotAtAll) {
  const Text cyrillic = u"\u041f\u0440\u0438\u0432\u0435\u0442.txt";
  const Text accented = u"c \u00e9.txt";
  struct Case {
    const char* feat;
    std::int32_t useUtf8;
    Text name;
    const char* sent;  // the SIZE line the server received, or "" for none
  } cases[] = {
      {"211-Features:\r\n MDTM\r\n UTF8\r\n211 End", 0, cyrillic,
       "SIZE \xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82.txt"},
      {"211-Features:\r\n utf8\r\n211 End", 0, accented, "SIZE c \xc3\xa9.txt"},
      {"502 Command not implemented", 0, accented, "SIZE c \xe9.txt"},
      {"211-Features:\r\n SIZE\r\n211 End", 0, cyrillic, ""},
      {"502 Command not implemented", 1, cyrillic,
       "SIZE \xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sent);
    const bool utf8 = std::string(c.feat).find("TF8") != std::string::npos ||
                      std::string(c.feat).find("tf8") != std::string::npos;
    FakeFtpServer peer;
    peer.Greet().Reply("USER", "331 pw").Reply("PASS", "230 in").Reply("FEAT", c.feat).Reply("TYPE I", "200 ok");
    if (utf8) peer.Reply("OPTS UTF8 ON", "200 ok");
    if (*c.sent != '\0') peer.Reply("SIZE", "213 1");
    peer.Start();
    ServerRecord record = Record();
    record.port = peer.port();
    record.useUtf8 = c.useUtf8;
    OpenControlConnection(session, record, nullptr);
    ASSERT_EQ(Login(session, session.controlConnection(), record, nullptr), 1);
    CommandReply reply;
    const int r = RunCommand(session, session.controlConnection(), record, u"SIZE " + c.name, u"213", reply, nullptr);
    if (*c.sent != '\0') {
      EXPECT_EQ(r, 1);
      ASSERT_TRUE(peer.WaitFinished(3000));
      EXPECT_EQ(peer.Commands().back(), c.sent);
    } else {
      EXPECT_EQ(r, -1);
      EXPECT_EQ(reply.kind, ReplyClass::kRefused);
      EXPECT_EQ(reply.reply, u"553 Not sent: \"" + c.name +
                                 u"\" cannot be written in the server's character set; turn on \"ServerUseUTF8\" "
                                 u"for this server");
      EXPECT_EQ(peer.Commands().back(), "TYPE I");
    }
    Disconnect(session, nullptr);
  }
  EXPECT_FALSE(ListsFeature(u"211-Features:\r\n UTF8X\r\n211 UTF8", u"UTF8"));
  EXPECT_TRUE(ListsFeature(u"211-Features:\r\n  UTF8 ON\r\n211 End", u"UTF8"));
}

TEST_F(EngineTest, TypeIRefusedOnceIsSentAgain) {
  server.Greet()
      .Reply("USER", "331 pw")
      .Reply("PASS", "230 ok")
      .Reply("TYPE I", "550 not now")
      .Reply("TYPE I", "200 ok");
  server.Start();
  ServerRecord record = Record();
  OpenControlConnection(session, record, nullptr);
  EXPECT_EQ(Login(session, session.controlConnection(), record, nullptr), 1);
  EXPECT_THAT(server.Commands(), ElementsAre("USER user", "PASS Secret", "TYPE I", "TYPE I"));
}

TEST_F(EngineTest, UserAnsweredWith230IsLoggedInWithoutPassword) {
  server.Greet().Reply("USER", "230 welcome without password").Reply("TYPE I", "200 ok");
  server.Start();
  ServerRecord record = Record(400);
  OpenControlConnection(session, record, nullptr);
  EXPECT_EQ(Login(session, session.controlConnection(), record, nullptr), 1);
  EXPECT_THAT(server.Commands(), ElementsAre("USER user", "TYPE I"));
}

TEST_F(EngineTest, UserAnsweredWith530IsRefusedAtOnceAndTheSessionClosed) {
  server.Greet().Reply("USER", "530 not you");
  server.Start();
  ServerRecord record = Record(5000);
  OpenControlConnection(session, record, nullptr);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Login(session, session.controlConnection(), record, nullptr), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(session.controlConnection(), 0);
  EXPECT_THAT(LogLines(session), ElementsAre("----- Connected to 127.0.0.1", ">---<220 Fake server ready",
                                             "<--->USER user", ">---<530 not you"));
  ASSERT_TRUE(server.WaitClientGone(3000));
  EXPECT_EQ(server.Commands().back(), "QUIT");
}

TEST_F(EngineTest, OpenConnectionIsReusedWithoutGreetingOrClearingTheLog) {
  server.Greet();
  server.Start();
  ServerRecord record = Record();
  OpenControlConnection(session, record, nullptr);
  const int first = session.controlConnection();
  ASSERT_NE(first, 0);
  LogLine(session, u"----- marker", nullptr);
  OpenControlConnection(session, record, nullptr);
  EXPECT_EQ(session.controlConnection(), first);
  EXPECT_THAT(LogLines(session),
              ElementsAre("----- Connected to 127.0.0.1", ">---<220 Fake server ready", "----- marker"));
  EXPECT_EQ(server.ControlConnections(), 1);
  EXPECT_TRUE(server.Commands().empty());
}

TEST_F(EngineTest, GreetingProblemsCloseTheConnection) {
  server.Send("421 too many users\r\n").NextClient();  // second client: no greeting at all
  server.Start();
  ServerRecord record = Record(400);
  OpenControlConnection(session, record, nullptr);
  EXPECT_EQ(session.controlConnection(), 0);
  EXPECT_EQ(LogLines(session).back(), "!! Uncorrect answer from the server: 421 too many users");

  OpenControlConnection(session, record, nullptr);
  EXPECT_EQ(session.controlConnection(), 0);
  // The log was emptied for the new connection; "!! TimeOut !!" comes twice.
  EXPECT_THAT(LogLines(session),
              ElementsAre("----- Connected to 127.0.0.1", ">---<!! TimeOut !!", "!! TimeOut !!"));
}

TEST_F(EngineTest, UnreachableServerAndDisconnectWithoutConnection) {
  ServerRecord record = Record();
  record.port = 1;  // nothing listens there
  OpenControlConnection(session, record, &status);
  EXPECT_EQ(session.controlConnection(), 0);
  EXPECT_THAT(LogLines(session), ElementsAre("!!--- Unable to connect to specified server"));
  session.visibleAddress = u"10.0.0.5";
  EXPECT_EQ(Disconnect(session, nullptr), 1);
  EXPECT_EQ(session.visibleAddress, u"");
  EXPECT_EQ(LogLines(session).size(), 1u);
}

TEST_F(EngineTest, StartNetworkLogsOnlyToTheLog) {
  EXPECT_EQ(StartNetwork(session), 1);
  EXPECT_THAT(LogLines(session), ElementsAre("----- Successfully started the TCP/IP stack..."));
}

}  // namespace
}  // namespace wexmoor::testing
