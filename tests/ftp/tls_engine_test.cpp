// The engine's choices around TLS and data addresses against the scripted
// server: refused AUTH with each protocol, no downgrade once a certificate
// was trusted, SFTP refused, EPSV after refused PASV forms, and PASV replies
// naming other hosts (never dialled).
#include <algorithm>

#include "ftp/data_channel.h"
#include "ftp/engine_fixture.h"

namespace wexmoor::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

bool LogHas(const FtpSession& session, const std::string& line) {
  const auto lines = LogLines(session);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(EngineTest, RefusedAuthGoesPlainOnlyWhenTlsIsOptionalAndNothingWasTrusted) {
  server.Greet().Reply("AUTH TLS", "502 Command not implemented").Login();
  server.Start();
  ServerRecord record = Record();
  record.protocol = kProtocolTlsIfOffered;
  bool confirmed = false;
  session.onTlsConfirmed = [&](const Text&) { confirmed = true; };
  OpenControlConnection(session, record, nullptr);
  EXPECT_FALSE(confirmed);
  ASSERT_NE(session.controlConnection(), 0);
  EXPECT_EQ(Login(session, session.controlConnection(), record, nullptr), 1);
  EXPECT_TRUE(LogHas(session, "----- The server does not offer TLS: going on without encryption"));
  EXPECT_EQ(session.controlTls, nullptr);
  EXPECT_FALSE(session.dataProtected);
  EXPECT_THAT(server.Commands(), ElementsAre("AUTH TLS", "USER user", "PASS Secret", "TYPE I"));
}

TEST_F(EngineTest, RefusedAuthEndsTheConnectionBeforeTheLogin) {
  struct Case {
    std::int32_t protocol;
    const char16_t* fingerprint;
    const char* reply;
    const char* line;
  };
  for (const Case c : {Case{kProtocolTlsRequired, u"", "500 AUTH not understood", "!!--- The server refused TLS (AUTH TLS)"},
                       Case{kProtocolTlsRequired, u"", "534 Policy", "!!--- The server refused TLS (AUTH TLS)"},
                       Case{kProtocolTlsIfOffered, u"AA:BB", "504 No",
                            "!!--- The server refused TLS, but a certificate was trusted for it before"},
                       Case{kProtocolTlsIfOffered, u"", "421 Going away", "!!--- The server refused TLS (AUTH TLS)"}}) {
    FakeFtpServer peer;
    peer.Greet().Reply("AUTH TLS", c.reply);
    peer.Start();
    ServerRecord record = Record();
    record.port = peer.port();
    record.protocol = c.protocol;
    record.fingerprint = c.fingerprint;
    OpenControlConnection(session, record, nullptr);
    EXPECT_EQ(session.controlConnection(), 0) << c.reply;
    EXPECT_TRUE(LogHas(session, c.line)) << c.reply;
    EXPECT_TRUE(peer.WaitClientGone(3000));
    EXPECT_THAT(peer.Commands(), ElementsAre("AUTH TLS")) << c.reply;  // no USER, no PASS
  }
}

TEST_F(EngineTest, SftpIsRefusedWithoutDialling) {
  server.Start();
  ServerRecord record = Record();
  record.protocol = kProtocolSftp;
  OpenControlConnection(session, record, nullptr);
  EXPECT_EQ(session.controlConnection(), 0);
  EXPECT_THAT(LogLines(session),
              ElementsAre("!!--- SFTP is not available in this version: choose FTP or FTP over TLS for this server"));
  EXPECT_EQ(server.ControlConnections(), 0);
}

TEST_F(EngineTest, PasvNamingAnotherHostIsNotDialled) {
  for (const char* named : {"10.0.0.5", "192.168.1.2"}) {
    FakeFtpServer peer;
    peer.Greet().Login().Pasv("PASV", named).AcceptData().ReceiveData();
    peer.Start();
    ServerRecord record = Record();
    record.port = peer.port();
    OpenControlConnection(session, record, nullptr);
    ASSERT_EQ(Login(session, session.controlConnection(), record, nullptr), 1);
    session.Log().Clear();
    EXPECT_EQ(OpenDataChannel(session, session.controlConnection(), record, nullptr), 1) << named;
    ASSERT_NE(session.dataConnection, 0);
    const auto lines = LogLines(session);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], std::string("----- PASV named ") + named + ", using the server's address 127.0.0.1 instead");
    EXPECT_THAT(lines[3], HasSubstr("----- Connection to [127.0.0.1 Port: "));
    CloseDataChannel(session, nullptr);
    Disconnect(session, nullptr);
    EXPECT_TRUE(peer.WaitFinished(3000)) << named;
    EXPECT_TRUE(peer.Problems().empty());
  }
}

TEST_F(EngineTest, EpsvIsTriedWhenBothPasvFormsAreRefused) {
  server.Greet().Login().Reply("PASV", "502 No").Reply("passive", "502 No").Epsv().AcceptData();
  server.Start();
  ServerRecord record = Record();
  ASSERT_TRUE(LogIn(record));
  EXPECT_EQ(OpenDataChannel(session, session.controlConnection(), record, nullptr), 1);
  EXPECT_NE(session.dataConnection, 0);
  EXPECT_THAT(LogLines(session), Contains(HasSubstr("----- Connection to [127.0.0.1 Port: ")));
  CloseDataChannel(session, nullptr);
  EXPECT_TRUE(server.WaitFinished(3000));
}

TEST_F(EngineTest, EpsvRefusedToo) {
  server.Greet().Login().Reply("PASV", "502 No").Reply("passive", "502 No").Reply("EPSV", "502 Not either");
  server.Start();
  ServerRecord record = Record();
  ASSERT_TRUE(LogIn(record));
  EXPECT_NE(OpenDataChannel(session, session.controlConnection(), record, nullptr), 1);
  EXPECT_EQ(session.dataConnection, 0);
  EXPECT_EQ(LogLines(session).back(), "!!--- Error while EPSV: 502 Not either");
  EXPECT_THAT(server.Commands(), Contains("EPSV"));
}

}  // namespace
}  // namespace wexmoor::testing
