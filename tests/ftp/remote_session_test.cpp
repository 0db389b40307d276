#include "ftp/remote_session.h"

#include <algorithm>

#include "ftp/engine_fixture.h"
#include "ftp/listing_parser.h"

namespace wexmoor::testing {
namespace {

using ::testing::ElementsAre;

constexpr char kListing[] =
    "total 12\r\n"
    "drwxr-xr-x   2 ftp ftp 4096 Dec  8 06:00 .\r\n"
    "drwxr-xr-x   2 ftp ftp 4096 Dec  8 06:00 ..\r\n"
    "-rw-r--r--   1 ftp ftp   10 Dec  8 06:00 my report.txt\r\n"
    "\r\n"
    "drwxr-xr-x   2 ftp ftp 4096 Dec  8 06:00 Public_html\r\n"
    "-rw-r--r--   1 ftp ftp    3 Dec  8 06:00 plain\r\n";

TEST(ListingParserTest, LastWordOfEachLineWithoutDotEntries) {
  EXPECT_EQ(ParseListing(Utf8ToUtf16(kListing)), u"12|report.txt|ftp_html|plain|");
  EXPECT_EQ(ParseListing(u"total 2\n-rw 1 a b 1 x one\n-rw 1 a b 1 x two"), u"2|one|two|");
  EXPECT_EQ(ParseListing(u"   "), u"");
  EXPECT_EQ(ParseListing(u"PUBLIC"), u"ftp|");  // "ftp ftp": the last word
}

TEST(ListingParserTest, LineByLineParseAgreesWithTakingLinesOffTheFront) {
  for (const Text& text : {Utf8ToUtf16(kListing), Text(u"  a  b\r\n\r\n  c public d  \n\n x\n"),
                           Text(u"\n\nname\r\n"), Text(u"one\rtwo three\n")}) {
    Text rest = TrimSpaces(text);
    Text byLines;
    while (!rest.empty()) {
      Text name;
      rest = ParseListLine(rest, name);
      if (!name.empty() && name != u"." && name != u"..") byLines += name + u"|";
    }
    EXPECT_EQ(ParseListing(text), byLines) << Utf16ToUtf8(text);
  }
  Text name;
  EXPECT_EQ(ParseListLine(u"a  b   c  \r\nnext line", name), u"next line");
  EXPECT_EQ(name, u"c");
}

TEST_F(EngineTest, FolderWalkCreatesMissingFolders) {
  server.Greet().Login()
      .Reply("CWD a", "250 ok")
      .Reply("CWD b", "550 no such folder").Reply("MKD b", "257 \"b\" created").Reply("CWD b", "250 ok")
      .Reply("CWD c", "550 no such folder").Reply("MKD c", "257 \"c\" created").Reply("CWD c", "250 ok");
  server.Start();
  ServerRecord record = Record();
  record.address = u"127.0.0.1\\a/b\\c";
  ServerRecord original = record;
  record.timeOut = 0;
  original.timeOut = 0;
  EXPECT_EQ(OpenRemoteSession(session, record, 0, 0, &status), u"");
  EXPECT_EQ(record.address, original.address);  // the caller's record is left alone
  EXPECT_EQ(record.timeOut, 0);
  EXPECT_NE(session.controlConnection(), 0);   // left open for the upload
  const std::vector<std::string> shown = status.Lines();
  EXPECT_NE(std::find(shown.begin(), shown.end(),
                      "Connected to port:" + std::to_string(session.controlConnection())),
            shown.end());
  const std::vector<std::string> commands = server.Commands();
  EXPECT_THAT(std::vector<std::string>(commands.begin() + 3, commands.end()),
              ElementsAre("CWD a", "CWD b", "MKD b", "CWD b", "CWD c", "MKD c", "CWD c"));
  const std::vector<std::string> lines = LogLines(session);
  EXPECT_EQ(lines.back(), ">---<250 ok");
  for (const std::string& line : lines) EXPECT_FALSE(line.starts_with("!!")) << line;
  Disconnect(session, nullptr);
}

TEST_F(EngineTest, FailedMkdAndCwdGiveTheResultTextAndTheWalkGoesOn) {
  server.Greet().Login()
      .Reply("CWD b", "550 no such folder").Reply("MKD b", "550 permission denied")
      .Reply("CWD b", "550 no such folder").Reply("CWD c", "250 ok");
  server.Start();
  ServerRecord record = Record();
  record.address = u"127.0.0.1/b/c/";
  EXPECT_EQ(PrepareUploadSession(session, record, 0, nullptr), 0);
  const std::vector<std::string> lines = LogLines(session);
  EXPECT_THAT(std::vector<std::string>(lines.end() - 9, lines.end()),
              ElementsAre("<--->CWD b", ">---<550 no such folder", "<--->MKD b", ">---<550 permission denied",
                          "<--->CWD b", ">---<550 no such folder", "!!Error while creating the directory!! b",
                          "<--->CWD c", ">---<250 ok"));
  Disconnect(session, nullptr);
  EXPECT_EQ(OpenRemoteSession(session, Record(), 1, 0, nullptr),
            u"!!Impossible to initialise connection (perhaps an adress problem...)!!");
}

// A neighbouring session made the folder between our CWD and our MKD: the
// refused MKD is followed by CWD into it, whatever 4xx/5xx the server says.
TEST_F(EngineTest, FolderMadeByANeighbourMeanwhileIsEntered) {
  const char* refusals[] = {"550 File exists", "521 \"/b\" directory exists", "553 Could not create", "450 busy"};
  for (const char* refusal : refusals) {
    SCOPED_TRACE(refusal);
    FakeFtpServer racing;
    racing.Greet().Login().Reply("CWD b", "550 no such folder").Reply("MKD b", refusal).Reply("CWD b", "250 ok");
    racing.Start();
    ServerRecord record = Record(400);
    record.port = racing.port();
    record.address = u"127.0.0.1/b/";
    EXPECT_EQ(PrepareUploadSession(session, record, 0, nullptr), 1) << Utf16ToUtf8(session.Log().Get());
    Disconnect(session, nullptr);
    session.Log().Clear();
  }
}

TEST_F(EngineTest, CwdFailingOtherwiseIsLoggedWithItsCode) {
  server.Greet().Login().Reply("CWD x", "425 odd");
  server.Start();
  ServerRecord record = Record();
  record.address = u"127.0.0.1/x";
  EXPECT_EQ(PrepareUploadSession(session, record, 0, nullptr), 0);
  EXPECT_EQ(LogLines(session).back(), "!!Error while opening the directory!! x (-1)");
  Disconnect(session, nullptr);
}

TEST_F(EngineTest, LoginRefusedGivesTheLoginMessage) {
  server.Greet().Reply("USER", "331 pw").Reply("PASS", "530 wrong");
  server.Start();
  ServerRecord record = Record(400);
  EXPECT_EQ(PrepareUploadSession(session, record, 0, nullptr), 0);
  EXPECT_EQ(LogLines(session).back(),
            "!!Impossible to initialise connection (perhaps a login, or password problem...)!!");
  EXPECT_EQ(session.controlConnection(), 0);
}

TEST_F(EngineTest, BrowseListsParsesAndCloses) {
  server.Greet().Login().Pasv().Reply("LIST", "150 Here it comes").AcceptData().SendData(kListing).CloseData()
      .Send("226 Done\r\n");
  server.Start();
  ServerRecord record = Record();
  EXPECT_EQ(BrowseServer(session, record, nullptr), u"12|report.txt|ftp_html|plain|");
  EXPECT_EQ(session.controlConnection(), 0);
  ASSERT_TRUE(server.WaitClientGone(3000));
  EXPECT_EQ(server.Commands().back(), "QUIT");
  const std::vector<std::string> lines = LogLines(session);
  EXPECT_EQ(lines.back(), ">---<226 Done");
}

TEST_F(EngineTest, ListWhose150And226ArriveTogetherReadsTheDataOnce) {
  server.Greet().Login().Pasv().Reply("LIST", "150 Opening\r\n226 Transfer complete").AcceptData()
      .SendData("-rw 1 a b 1 x one\r\n").CloseData();
  server.Start();
  ServerRecord record = Record(1500);
  ASSERT_TRUE(LogIn(record));
  Text listing;
  EXPECT_EQ(ListFolder(session, session.controlConnection(), record, u"", listing, nullptr), 1);
  EXPECT_EQ(listing, u"-rw 1 a b 1 x one");
  const std::vector<std::string> lines = LogLines(session);
  // The 226 that came with the 150 is the closing reply, read once.
  EXPECT_EQ(lines.back(), ">---<226 Transfer complete");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), ">---<-rw 1 a b 1 x one"), 1);
}

TEST_F(EngineTest, ListWithoutClosingReplyTimesOut) {
  server.Greet().Login().Pasv().Reply("LIST", "150 Opening").AcceptData().SendData("name\r\n").CloseData();
  server.Start();
  ServerRecord record = Record(400);
  ASSERT_TRUE(LogIn(record));
  Text listing;
  EXPECT_EQ(ListFolder(session, session.controlConnection(), record, u"-a", listing, nullptr), -2);
  EXPECT_EQ(listing, u"name");
  EXPECT_EQ(server.Commands().back(), "LIST -a");
  EXPECT_EQ(LogLines(session).back(), "!!--- TimeOut");
}

}  // namespace
}  // namespace wexmoor::testing
