#include "ftp/file_upload.h"

#include <random>

#include "ftp/engine_fixture.h"
#include "peers/test_paths.h"
#include "platform/files.h"

namespace wexmoor::testing {
namespace {

using ::testing::ElementsAre;

class UploadTest : public EngineTest {
 protected:
  Text MakeFile(const std::string& name, std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i * 7 % 26);
    const Text path = Utf8ToUtf16(folder.File(name));
    EXPECT_TRUE(WriteWholeFile(path, bytes));
    return path;
  }
  // The passive upload script: PASV, STOR accepted with 150, data, 226.
  void ScriptPassiveUpload() {
    server.Greet().Login().Pasv().Reply("STOR", "150 go").AcceptData().ReceiveData().Send("226 done\r\n");
    server.Start();
  }
  // Log lines after the PASV set-up (the first three lines).
  std::vector<std::string> LinesAfterPasv() {
    std::vector<std::string> lines = LogLines(session);
    EXPECT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "<--->PASV");
    lines.erase(lines.begin(), lines.begin() + std::min<std::size_t>(3, lines.size()));
    return lines;
  }

  TempFolder folder;
  RecordingProgress progress;
};

// The local name after the last "/", as it is.
TEST(RemoteFileNameTest, TheNameAfterTheLastSlashUnchanged) {
  struct Case {
    const char16_t* local;
    const char16_t* remote;
  } cases[] = {
      {u"/home/me/report.txt", u"report.txt"},
      {u"plain", u"plain"},
      {u"/home/me/Report \"A\".pdf", u"Report \"A\".pdf"},
      {u"/home/me/\"quoted name.txt\" rest", u"\"quoted name.txt\" rest"},
      {u"/home/me/a\\b.txt", u"a\\b.txt"},
      {u"/home/me/\u041f\u0440\u0438\u0432\u0435\u0442.txt", u"\u041f\u0440\u0438\u0432\u0435\u0442.txt"},
      {u"/x/c \u00e9.txt", u"c \u00e9.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(RemoteFileName(c.local), c.remote) << Utf16ToUtf8(c.local);
}

TEST_F(UploadTest, OneByteFile) {
  ScriptPassiveUpload();
  const Text path = MakeFile("one.bin", 1);
  ServerRecord record = Record();
  ASSERT_TRUE(LogIn(record));
  EXPECT_EQ(UploadFile(session, session.controlConnection(), record, path, &progress, &status), 1);
  EXPECT_THAT(LinesAfterPasv(), ElementsAre("<--->STOR one.bin", ">---<150 go", "----- File sent with succes",
                                            ">---<226 done", "-----0.00 Kb sent at 0.00 Kb/s."));
  ASSERT_TRUE(server.WaitFinished(3000));
  EXPECT_EQ(server.DataReceived(), "a");
  EXPECT_THAT(progress.values, ElementsAre(100));
  const std::vector<std::string> shown = status.Lines();
  EXPECT_NE(std::find(shown.begin(), shown.end(), "1 / 1"), shown.end());
  EXPECT_EQ(session.bytesSent, 1);
  EXPECT_EQ(lastProgress.load(), clock.MonotonicSeconds());
}

// Both ways of sending (zero-copy and read-then-send) over many blocks: the
// bytes arrive whole and in order, the window hears of it a few times only,
// and the last word is the whole size.
TEST_F(UploadTest, ManyBlocksEitherWayArriveWholeWithFewDisplayUpdates) {
  server.Greet().Login();
  for (int i = 0; i < 2; ++i) server.Pasv().Reply("STOR", "150 go").AcceptData().ReceiveData().CloseData().Send("226 done\r\n");
  server.Start();
  const std::size_t size = 3 * 1024 * 1024 + 1025;
  const Text path = MakeFile("many.bin", size);
  ServerRecord record = Record(5000);
  ASSERT_TRUE(LogIn(record));
  session.sendBlockSize = 4096;
  for (const bool zeroCopy : {true, false}) {
    SCOPED_TRACE(zeroCopy ? "zero-copy" : "read and send");
    session.zeroCopy = zeroCopy;
    RecordingStatus shown;
    progress.values.clear();
    const std::int64_t started = NetworkMs();
    EXPECT_EQ(UploadFile(session, session.controlConnection(), record, path, &progress, &shown), 1);
    const std::int64_t tookMs = NetworkMs() - started;
    std::vector<std::string> counts;
    for (const std::string& line : shown.Lines())
      if (line.find(" / ") != std::string::npos) counts.push_back(line);
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.back(), std::to_string(size) + " / " + std::to_string(size));
    EXPECT_LE(counts.size(), static_cast<std::size_t>(tookMs / 100 + 2));  // of 800 blocks
    ASSERT_FALSE(progress.values.empty());
    EXPECT_EQ(progress.values.back(), 100);
  }
  ASSERT_TRUE(server.WaitFinished(5000));
  const std::string bytes = *ReadWholeFile(path);
  EXPECT_EQ(server.DataReceived(), bytes + bytes);
}

TEST_F(UploadTest, SpeedLineUsesWholeSeconds) {
  // Two seconds pass on the clock while the server takes the data.
  server.Greet().Login().Pasv().Reply("STOR", "150 go").AcceptData().ReceiveData()
      .Do([this] { clock.Advance(2000); }).Send("226 done\r\n");
  server.Start();
  const Text path = MakeFile("speed.bin", 1536);
  ServerRecord record = Record(5000);  // the two seconds are not a silence
  ASSERT_TRUE(LogIn(record));
  EXPECT_EQ(UploadFile(session, session.controlConnection(), record, path, nullptr, nullptr), 1);
  EXPECT_EQ(LogLines(session).back(), "-----1.50 Kb sent at 0.75 Kb/s.");
  EXPECT_EQ(server.DataReceived().size(), 1536u);
}

TEST_F(UploadTest, SameSecondSpeedIsTheSize) {
  ScriptPassiveUpload();
  const Text path = MakeFile("speed.bin", 1536);
  ServerRecord record = Record(5000);  // the two seconds are not a silence
  ASSERT_TRUE(LogIn(record));
  EXPECT_EQ(UploadFile(session, session.controlConnection(), record, path, nullptr, nullptr), 1);
  EXPECT_EQ(LogLines(session).back(), "-----1.50 Kb sent at 1.50 Kb/s.");
}

TEST_F(UploadTest, EmptyMissingAndFolderPathsSendNothing) {
  server.Greet().Login();
  server.Start();
  ServerRecord record = Record();
  ASSERT_TRUE(LogIn(record));
  const Text empty = MakeFile("empty.bin", 0);
  EXPECT_EQ(UploadFile(session, session.controlConnection(), record, empty, nullptr, nullptr), -1);
  const Text missing = Utf8ToUtf16(folder.File("missing.bin"));
  EXPECT_EQ(UploadFile(session, session.controlConnection(), record, missing, nullptr, nullptr), -1);
  const Text itself = Utf8ToUtf16(folder.path());
  EXPECT_EQ(UploadFile(session, session.controlConnection(), record, itself, nullptr, nullptr), -1);
  EXPECT_EQ(UploadFile(session, 0, record, empty, nullptr, nullptr), 0);
  EXPECT_THAT(LogLines(session), ElementsAre("!!--- File is empty!!",
                                             "!!--- Unable to open \"" + folder.File("missing.bin") + "\"",
                                             "!!--- Unable to open \"" + folder.path() + "\""));
  EXPECT_EQ(server.Commands().size(), 3u);  // only the login
}

TEST_F(UploadTest, StorRefusedWith550ClosesAbnormally) {
  server.Greet().Login().Pasv().Reply("STOR", "550 Permission denied");
  server.Start();
  const Text path = MakeFile("r.bin", 10);
  ServerRecord record = Record(400);
  ASSERT_TRUE(LogIn(record));
  EXPECT_EQ(UploadFile(session, session.controlConnection(), record, path, nullptr, nullptr), -1);
  EXPECT_THAT(LinesAfterPasv(), ElementsAre("<--->STOR r.bin", ">---<550 Permission denied",
                                            "!!--- Upload refused: 550 Permission denied"));
}

TEST_F(UploadTest, StorRefusedWith501Or553EndsTheExchangeAtOnce) {
  for (const char* refusal : {"501 Syntax error", "553 Bad file name"}) {
    SCOPED_TRACE(refusal);
    FakeFtpServer refusing;
    refusing.Greet().Login().Pasv().Reply("STOR", refusal);
    refusing.Start();
    ServerRecord record = Record(400);
    record.port = refusing.port();
    ASSERT_TRUE(LogIn(record));
    const Text path = MakeFile("r.bin", 10);
    EXPECT_EQ(UploadFile(session, session.controlConnection(), record, path, nullptr, nullptr), -1);
    EXPECT_THAT(LinesAfterPasv(), ElementsAre("<--->STOR r.bin", ">---<" + std::string(refusal),
                                              "!!--- Upload refused: " + std::string(refusal)));
    Disconnect(session, nullptr);
  }
}

TEST_F(UploadTest, ActiveModeUploadAndAServerThatNeverConnects) {
  // Somewhere in the middle of the cycle, so that parallel runs rarely meet.
  const int skip = 5 + static_cast<int>(std::random_device{}() % 90);
  for (int i = 0; i < skip; ++i) ports.Next();
  const int first = ports.Current() + 1;
  const int second = first + 1;
  if (!PortFree(first) || !PortFree(second)) GTEST_SKIP() << "listener ports in use on this machine";
  const auto portText = [](int port) {
    return "127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256);
  };
  server.Greet().Login()
      .Reply("PORT", "200 ok").Reply("STOR", "150 go").ConnectData().ReceiveData().Send("226 done\r\n")
      .Reply("PORT", "200 ok").Reply("STOR", "150 go");  // ... and never dials
  server.Start();
  const Text path = MakeFile("act.bin", 1500);
  ServerRecord record = Record(400);
  record.active = 1;
  ASSERT_TRUE(LogIn(record));
  EXPECT_EQ(UploadFile(session, session.controlConnection(), record, path, nullptr, nullptr), 1);
  EXPECT_EQ(server.DataReceived(), *ReadWholeFile(path));
  const std::string one = std::to_string(first), two = std::to_string(second);
  EXPECT_THAT(LogLines(session),
              ElementsAre("----- Internal PORT " + one + " has been created", "<--->PORT " + portText(first),
                          ">---<200 ok", "<--->STOR act.bin", ">---<150 go", ">---< Connected to data PORT",
                          "----- File sent with succes", "----- Internal PORT " + one + " has been closed",
                          ">---<226 done", "-----1.46 Kb sent at 1.46 Kb/s."));
  session.Log().Clear();
  EXPECT_EQ(UploadFile(session, session.controlConnection(), record, path, nullptr, nullptr), -1);
  EXPECT_THAT(LogLines(session),
              ElementsAre("----- Internal PORT " + two + " has been created", "<--->PORT " + portText(second),
                          ">---<200 ok", "<--->STOR act.bin", ">---<150 go", "!!--- No Connection ID",
                          "----- Internal PORT " + two + " has been closed", ">---<!! TimeOut !!",
                          "!!--- Data connection closed abnormally"));
  EXPECT_EQ(session.listener, 0);
}

}  // namespace
}  // namespace wexmoor::testing
