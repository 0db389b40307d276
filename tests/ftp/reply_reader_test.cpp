#include "ftp/reply_reader.h"

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

TEST_F(EngineTest, SplitGreetingIsReadAsTwoReplies) {
  server.SendPieces({"220-Hello\r\n", "220 Ready\r\n"}, 150).Reply("USER", "331 ok");
  server.Start();
  ServerRecord record = Record();
  OpenControlConnection(session, record, &status);
  ASSERT_NE(session.controlConnection(), 0);
  CommandReply reply;
  // The late second greeting line is the first reply of the next exchange and is stepped over.
  EXPECT_EQ(RunCommand(session, session.controlConnection(), record, u"USER user", u"331", reply, nullptr), 1);
  EXPECT_EQ(reply.line, u"331 ok");
  EXPECT_THAT(LogLines(session), ElementsAre("----- Connected to 127.0.0.1", ">---<220-Hello", "<--->USER user",
                                             ">---<220 Ready", ">---<331 ok"));
}

TEST_F(EngineTest, ReplyWithoutLineEndWaitsThenReturnsWhatCame) {
  server.Send("331 need password");
  server.Start();
  ServerRecord record = Record(3000);
  const int connection = Dial();
  EXPECT_EQ(ReadReply(session, connection, record, 0, nullptr), u"331 need password");
  EXPECT_THAT(LogLines(session), ElementsAre(">---<331 need password"));
  CloseSocket(connection);
}

TEST_F(EngineTest, ReplyOfOnlyCrLfIsEmptyAndNothingIsATimeOut) {
  server.Send("\r\n");
  server.Start();
  ServerRecord record = Record(400);
  const int connection = Dial();
  EXPECT_EQ(ReadReply(session, connection, record, 0, nullptr), u"");
  EXPECT_EQ(ReadReply(session, connection, record, 0, nullptr), u"!! TimeOut !!");
  EXPECT_EQ(ReadReply(session, 0, record, 0, nullptr), u"!! No Connection !!");
  EXPECT_THAT(LogLines(session), ElementsAre(">---<", ">---<!! TimeOut !!", ">---<!! No Connection !!"));
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

}  // namespace
}  // namespace wexmoor::testing
