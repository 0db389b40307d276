#include "ftp/reply_reader.h"

#include <chrono>
#include <string>

#include "ftp/command_batch.h"
#include "ftp/reply_assembler.h"

#include "ftp/control_connection.h"
#include "ftp/engine_fixture.h"

namespace wexmoor::testing {
namespace {

using ::testing::ElementsAre;

TEST(ReplyHasCodeTest, CodeMustBeWholeAndMayStartAnyLine) {
  EXPECT_EQ(ReplyHasCode(u"200 OK", u"20"), 0);
  EXPECT_EQ(ReplyHasCode(u"200 OK", u"200"), 1);
  EXPECT_EQ(ReplyHasCode(u"220-Hello", u"220"), 1);
  EXPECT_EQ(ReplyHasCode(u"200", u"200"), 1);  // a bare code at the very end
  // 150- first line, 226 on the second: the position just after the CR LF.
  EXPECT_EQ(ReplyHasCode(u"150-Opening\r\n226 Done", u"226"), 14);
  EXPECT_EQ(ReplyHasCode(u"150 Opening\r\nxx 226 no", u"226"), 0);
  EXPECT_EQ(ReplyHasCode(u"", u"226"), 0);
}

TEST_F(EngineTest, LogLineStampsAndShowsTheWholeLineButIgnoresEmptyText) {
  clock.SetWallSeconds(0);
  LogLine(session, u"", &status);
  EXPECT_TRUE(status.Lines().empty());
  EXPECT_EQ(session.Log().Get(), u"");
  LogLine(session, u"----- hello", &status);
  const std::string line = Utf16ToUtf8(session.Log().Get());
  ASSERT_EQ(line.size(), 10u + 11u + 2u);
  EXPECT_EQ(line.substr(2, 1), ":");
  EXPECT_EQ(line.substr(8), ": ----- hello\r\n");
  EXPECT_THAT(status.Lines(), ElementsAre(line.substr(0, line.size() - 2)));
}

TEST_F(EngineTest, GreetingSplitIntoPacketsIsOneReply) {
  server.SendPieces({"220-Hel", "lo\r\n", "220-more\r\n 220 not the end\r\n22", "0 Ready\r\n"}, 100)
      .Reply("USER", "331 ok");
  server.Start();
  ServerRecord record = Record();
  OpenControlConnection(session, record, &status);
  ASSERT_NE(session.controlConnection(), 0);
  CommandReply reply;
  EXPECT_EQ(RunCommand(session, session.controlConnection(), record, u"USER user", u"331", reply, nullptr), 1);
  EXPECT_EQ(reply.line, u"331 ok");
  EXPECT_THAT(LogLines(session), ElementsAre("----- Connected to 127.0.0.1", ">---<220-Hello", "220-more",
                                             " 220 not the end", "220 Ready", "<--->USER user", ">---<331 ok"));
}

TEST_F(EngineTest, ReplyWithoutLineEndCountsOnlyWhenTheServerClosesAfterIt) {
  server.Send("331 need password").Close();
  server.Start();
  ServerRecord record = Record(3000);
  int connection = Dial();
  EXPECT_EQ(ReadReply(session, connection, record, 0, nullptr), u"331 need password");
  CloseSocket(connection);

  FakeFtpServer silent;
  silent.Send("331 need");
  silent.Start();
  connection = ConnectTcp("127.0.0.1", silent.port(), 2000, {});
  record.timeOut = 300;
  EXPECT_EQ(ReadReply(session, connection, record, 0, nullptr), u"!! TimeOut !!");
  EXPECT_THAT(LogLines(session), ElementsAre(">---<331 need password", ">---<!! TimeOut !!"));
  CloseSocket(connection);
}

TEST_F(EngineTest, ReplyOfOnlyCrLfIsEmptyAndNothingIsATimeOut) {
  server.Send("\r\n");
  server.Start();
  ServerRecord record = Record(400);
  const int connection = Dial();
  EXPECT_EQ(ReadReply(session, connection, record, 0, nullptr), u"");
  EXPECT_EQ(ReadReply(session, connection, record, 0, nullptr), u"!! TimeOut !!");
  // After a time-out the connection is dropped: a late reply would be taken for the next one.
  EXPECT_EQ(ReadReply(session, connection, record, 0, nullptr), u"!! No Connection !!");
  EXPECT_EQ(SendCommand(session, connection, record, u"NOOP\r\n", nullptr), -1);
  EXPECT_EQ(ReadReply(session, 0, record, 0, nullptr), u"!! No Connection !!");
  EXPECT_THAT(LogLines(session), ElementsAre(">---<", ">---<!! TimeOut !!", ">---<!! No Connection !!",
                                             "<--->NOOP", ">---<!! No Connection !!"));
  CloseSocket(connection);
}

TEST_F(EngineTest, ZeroTimeOutBecomesTenSecondsInTheCallersRecord) {
  ServerRecord record = Record(0);
  ReadReply(session, 0, record, 0, nullptr);
  EXPECT_EQ(record.timeOut, 10000);
}

TEST_F(EngineTest, PassIsMaskedInAnyCaseButSentInFull) {
  server.Reply("PASS", "230 a").Reply("pass", "230 b").Reply("PaSs", "230 c");
  server.Start();
  ServerRecord record = Record();
  const int connection = Dial();
  CommandReply reply;
  EXPECT_EQ(RunCommand(session, connection, record, u"PASS Secret", u"230", reply, &status), 1);
  EXPECT_EQ(RunCommand(session, connection, record, u"pass Secret\r\n", u"230", reply, &status), 1);
  EXPECT_EQ(RunCommand(session, connection, record, u"PaSs Secret", u"230", reply, &status), 1);
  EXPECT_THAT(LogLines(session), ElementsAre("<--->PASS ****", ">---<230 a", "<--->PASS ****", ">---<230 b",
                                             "<--->PASS ****", ">---<230 c"));
  for (const std::string& line : status.Lines()) EXPECT_EQ(line.find("Secret"), std::string::npos);
  EXPECT_THAT(server.Commands(), ElementsAre("PASS Secret", "pass Secret", "PaSs Secret"));
  CloseSocket(connection);
}

TEST_F(EngineTest, RunCommandCodePatterns) {
  server.Reply("MKD a", "550 exists")
      .Reply("MKD b", "500 unknown")
      .Reply("STOR", "425 no data")
      .Expect("X")
      .SendPieces({"110 one\r\n", "120 two\r\n", "130 three\r\n"}, 200)
      .Reply("NOOP", "250-first\r\n250 last");
  server.Start();
  ServerRecord record = Record();
  const int connection = Dial();
  CommandReply reply;
  EXPECT_EQ(RunCommand(session, connection, record, u"MKD a", u"257|500|550", reply, nullptr), -1);
  EXPECT_EQ(reply.reply, u"550 exists");
  EXPECT_EQ(reply.line, u"");
  EXPECT_EQ(RunCommand(session, connection, record, u"MKD b", u"257|500|550", reply, nullptr), 1);
  EXPECT_EQ(reply.line, u"500 unknown");
  EXPECT_EQ(RunCommand(session, connection, record, u"STOR x", u"125|150|226", reply, nullptr), -1);
  // Three replies without any wanted code give 0 (the STOR above sent nothing more).
  EXPECT_EQ(RunCommand(session, connection, record, u"X", u"200", reply, nullptr), 0);
  EXPECT_EQ(reply.reply, u"130 three");
  EXPECT_EQ(RunCommand(session, connection, record, u"NOOP", u"250", reply, nullptr), 1);
  EXPECT_EQ(reply.line, u"250-first");
  EXPECT_EQ(RunCommand(session, 0, record, u"NOOP", u"250", reply, nullptr), -1);
  EXPECT_EQ(reply.reply, u"");
  EXPECT_EQ(LogLines(session).back(), "!!Error: No Connection ID!!");
  CloseSocket(connection);
}

TEST_F(EngineTest, RepliesAreDecodedInTheRecordsCharacterSet) {
  server.SendPieces({"257 \"caf\xc3\xa9\"\r\n", "257 \"caf\xe9\"\r\n"}, 200);
  server.Start();
  ServerRecord record = Record();
  const int connection = Dial();
  record.useUtf8 = 1;
  EXPECT_EQ(ReadReply(session, connection, record, 0, nullptr), u"257 \"caf\u00e9\"");
  record.useUtf8 = 0;
  EXPECT_EQ(ReadReply(session, connection, record, 0, nullptr), u"257 \"caf\u00e9\"");
  CloseSocket(connection);
}

// Where a reply ends, whatever packets it came in.
TEST(ReplyInStepTest, PositiveCodesOnlyOfTheirCommandRefusalsAlways) {
  struct Case {
    const char16_t* command;
    const char16_t* reply;
    bool inStep;
  };
  const Case cases[] = {
      {u"SIZE a.part", u"213 5", true},
      {u"SIZE a.part", u"350 ready", false},
      {u"SIZE a.part", u"213-size\r\n213 5", false},  // not a form SIZE is answered in
      {u"SIZE a.part", u"550 no such file", true},
      {u"RNFR a.part", u"350 ready", true},
      {u"RNFR a.part", u"213 5", false},
      {u"RNTO a", u"250 renamed", true},
      {u"RNTO a", u"553 exists", true},
      {u"PASV", u"227 Entering Passive Mode (127,0,0,1,4,1)", true},
      {u"PASV", u"250 ok", false},
      {u"epsv", u"229 Entering Extended Passive Mode (|||1025|)", true},
      {u"CWD d", u"250 ok", true},
      {u"STOR a.part", u"226 done", true},
      {u"STOR a.part", u"226-File successfully transferred\r\n226 0.001 seconds", true},
      {u"STOR a.part", u"421 bye", true},
      {u"STOR a.part", u"200 Type set", false},
      {u"NOOP", u"200-odd\r\n200 ok", true},  // no table for it
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReplyInStep(c.command, c.reply), c.inStep) << Utf16ToUtf8(c.command) << " / " << Utf16ToUtf8(c.reply);
}

TEST_F(EngineTest, ExchangeAllWritesTogetherAndMatchesRepliesInOrder) {
  // The server answers only once all three commands came; the first reply
  // arrives split, the second after a 1xx.
  server.Greet().Expect("SIZE a").Expect("RNFR a").Expect("SIZE b")
      .SendPieces({"21", "3 5\r\n", "150 hm\r\n350 ready\r\n550 No such file\r\n"}, 20);
  server.Start();
  ServerRecord record = Record();
  OpenControlConnection(session, record, nullptr);
  const int connection = session.controlConnection();
  ASSERT_NE(connection, 0);
  const std::vector<BatchReply> replies = ExchangeAll(session, connection, record, {u"SIZE a", u"RNFR a", u"SIZE b"}, nullptr);
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_EQ(replies[0].reply, u"213 5");
  EXPECT_EQ(replies[1].code, 350);
  EXPECT_EQ(replies[2].kind, ReplyClass::kRefused);
  EXPECT_TRUE(AllInStep(replies));
  ASSERT_TRUE(server.WaitFinished(3000));
  EXPECT_TRUE(server.Problems().empty()) << server.Problems().front();
}

TEST(ScanReplyTest, WholeRepliesAndTheirBounds) {
  struct Case {
    std::string bytes;
    ReplyScan::Kind kind;
    std::size_t end;
  } cases[] = {
      {"200 OK\r\n", ReplyScan::kComplete, 8},
      {"200 OK\r\n226 next\r\n", ReplyScan::kComplete, 8},
      {"200 OK", ReplyScan::kIncomplete, 0},
      {"200 OK\n", ReplyScan::kComplete, 7},
      {"\r\n", ReplyScan::kComplete, 2},
      {"garbage\r\n", ReplyScan::kComplete, 9},
      {"220-Hello\r\n", ReplyScan::kIncomplete, 0},
      {"220-Hello\r\n220-more\r\n", ReplyScan::kIncomplete, 0},
      {"220-Hello\r\n 220 indented\r\n230 other\r\n", ReplyScan::kIncomplete, 0},
      {"220-Hello\r\n220 Ready\r\n331 x\r\n", ReplyScan::kComplete, 22},
      {"220-Hello\r\n220\r\n", ReplyScan::kComplete, 16},
      {"220 " + std::string(8188, 'x') + "\r\n", ReplyScan::kComplete, 8194},
      {"220 " + std::string(8189, 'x') + "\r\n", ReplyScan::kTooLong, 0},
      {std::string(9000, 'x'), ReplyScan::kTooLong, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 40));
    const ReplyScan scan = ScanReply(c.bytes);
    EXPECT_EQ(scan.kind, c.kind);
    EXPECT_EQ(scan.end, c.end);
  }
  std::string lines = "211-Features\r\n";
  while (lines.size() <= kMaxReplyBytes) lines += " MDTM\r\n";
  EXPECT_EQ(ScanReply(lines).kind, ReplyScan::kTooLong);
  EXPECT_EQ(JoinReplyLines("220-a\n220-b\r\n220 c\r\n"), "220-a\r\n220-b\r\n220 c");
}

TEST(ClassifyReplyTest, TheEntrysFailureOrTheServers) {
  struct Case {
    const char16_t* reply;
    int code;
    ReplyClass kind;
  } cases[] = {
      {u"150 go", 150, ReplyClass::kPositive},         {u"226 done", 226, ReplyClass::kPositive},
      {u"350 ready", 350, ReplyClass::kPositive},      {u"452 disk full", 452, ReplyClass::kRefused},
      {u"553 Could not create file.", 553, ReplyClass::kRefused},
      {u"550-No\r\n550 such file", 550, ReplyClass::kRefused},
      {u"421 Timeout.", 421, ReplyClass::kServerGone}, {u"!! TimeOut !!", 0, ReplyClass::kServerGone},
      {u"!! Connection closed !!", 0, ReplyClass::kServerGone},
      {u"!! Reply too long !!", 0, ReplyClass::kServerGone}, {u"!! Stopped !!", 0, ReplyClass::kStopped},
      {u"", 0, ReplyClass::kServerGone},               {u"2000 no", 0, ReplyClass::kServerGone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.reply));
    EXPECT_EQ(ReplyCode(c.reply), c.code);
    EXPECT_EQ(ClassifyReply(c.reply), c.kind);
  }
}

// Every exchange ends on the first final reply, listed or not, with the
// server's own text; only a reader text means the server is gone.
TEST_F(EngineTest, ExchangesEndOnTheirFinalReply) {
  struct Case {
    const char* command;
    const char* reply;
    const char16_t* pattern;
    int result;
    const char16_t* replyText;
    ReplyClass kind;
  } cases[] = {
      {"STOR a", "553 Could not create file.", u"125|150|226", -1, u"553 Could not create file.", ReplyClass::kRefused},
      {"STOR b", "452 Insufficient storage space", u"125|150|226", -1, u"452 Insufficient storage space",
       ReplyClass::kRefused},
      {"APPE c", "550 Permission denied", u"125|150|226", -1, u"550 Permission denied", ReplyClass::kRefused},
      {"RNFR d", "350 Ready", u"350", 1, u"350 Ready", ReplyClass::kPositive},
      {"RNTO e", "553-Not\r\n553 allowed", u"250", -1, u"553-Not\r\n553 allowed", ReplyClass::kRefused},
      {"MKD f", "521 exists", u"257|500|550", -1, u"521 exists", ReplyClass::kRefused},
      {"SIZE g", "213 10", u"213", 1, u"213 10", ReplyClass::kPositive},
      {"SIZE h", "550 No such file", u"213", -1, u"550 No such file", ReplyClass::kRefused},
      {"PWD", "211 what", u"257", 0, u"211 what", ReplyClass::kPositive},
      {"NOOP", "110 wait\r\n200 ok", u"200", 1, u"200 ok", ReplyClass::kPositive},
      {"STOR i", "150 go\r\n226 done", u"125|150|226", 1, u"150 go", ReplyClass::kPositive},
      {"STOR j", "421 Timeout.", u"125|150|226", -1, u"421 Timeout.", ReplyClass::kServerGone},
  };
  for (const Case& c : cases) server.Reply(c.command, c.reply);
  server.Start();
  ServerRecord record = Record(3000);
  const int connection = Dial();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    CommandReply reply;
    EXPECT_EQ(RunCommand(session, connection, record, Utf8ToUtf16(c.command), c.pattern, reply, nullptr), c.result);
    EXPECT_EQ(reply.reply, c.replyText);
    EXPECT_EQ(reply.kind, c.kind);
    // The 226 sent with the 150 is the next reply, not lost and not early.
    if (std::string(c.command) == "STOR i") {
      EXPECT_EQ(ReadReply(session, connection, record, 0, nullptr), u"226 done");
    }
  }
  for (const std::string& line : LogLines(session)) EXPECT_EQ(line.find("TimeOut"), std::string::npos) << line;
  CloseSocket(connection);
}

// A server that trickles, one that never ends its reply, one with an endless
// line: each is given up within the reply time-out, and the connection is
// dropped.
TEST_F(EngineTest, HostileRepliesEndWithinTheirBounds) {
  struct Case {
    const char* name;
    std::string unit;
    int delayMs;
    std::size_t maxBytes;
    const char16_t* result;
  } cases[] = {
      {"one byte at a time", "2", 100, 200, u"!! TimeOut !!"},
      {"endless continuation lines", "220-" + std::string(70, 'x') + "\r\n", 0, 4u << 20, u"!! Reply too long !!"},
      {"an endless line", "220 " + std::string(65536, 'x'), 0, 4u << 20, u"!! Reply too long !!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer hostile;
    hostile.Flood(c.unit, c.delayMs, c.maxBytes);
    hostile.Start();
    ServerRecord record = Record(500);
    const int connection = ConnectTcp("127.0.0.1", hostile.port(), 2000, {});
    ASSERT_NE(connection, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadReply(session, connection, record, 0, nullptr), c.result);
    // A bound for a hang, not a speed: the old reader never ended here.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500 + 2500));
    EXPECT_EQ(SendCommand(session, connection, record, u"NOOP\r\n", nullptr), -1);
    CloseSocket(connection);
    session.ForgetReplyState();
  }
}

}  // namespace
}  // namespace wexmoor::testing
