// The built program as a user starts it: in a folder with its preference
// file, a real FTP server, a path on the command line, and SIGTERM to end it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "peers/program_runner.h"
#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"

namespace wexmoor {
namespace {

namespace fs = std::filesystem;

using testing::ReadAll;
using testing::RunningProgram;
using testing::WaitFor;

std::string Prefs(int port, const std::string& extra) {
  return "\xEF\xBB\xBFServerName1 = Elsewhere\r\nServerAdress1 = 127.0.0.1\r\nServerPort1 = 1\r\n"
         "ServerName2 = Local\r\nServerAdress2 = 127.0.0.1/incoming\r\nServerLogin2 = user\r\n"
         "ServerPassword2 = secret\r\nServerPort2 = " + std::to_string(port) +
         "\r\nCurrentServer = Local\r\nLangue$ = English\r\nNoVersion = 1.83\r\nDisableUpdates = 1\r\n" +
         extra;
}

TEST(ProgramGuiTest, CommandLineFileGoesToTheSelectedServerAndSigtermSavesTheQueue) {
  testing::TempFolder work;
  fs::create_directories(work.File("root/incoming"));
  testing::PyFtpdServer ftp(work.File("root"));
  ASSERT_TRUE(ftp.ok()) << ftp.error();
  std::ofstream(work.File("dropped.txt"), std::ios::binary) << "named on the command line";
  std::ofstream(work.File("stays.txt"), std::ios::binary) << "for a server that is not there";
  // One entry for a server nobody answers on stays queued, and is saved.
  std::ofstream(work.File("Wexmoor.prefs"), std::ios::binary)
      << Prefs(ftp.port(), "File0 = " + work.File("stays.txt") + "|Elsewhere|\r\n");

  RunningProgram program(work.path(), {work.File("dropped.txt"), "/no/such/file", work.File("stays.txt")});
  ASSERT_TRUE(program.ok());
  const std::string arrived = work.File("root/incoming/dropped.txt");
  EXPECT_TRUE(WaitFor([&] { return ReadAll(arrived) == "named on the command line"; }, std::chrono::seconds(60)))
      << ReadAll(work.File("program.log"));
  EXPECT_FALSE(fs::exists(work.File("root/incoming/stays.txt")));

  // A second start in the same folder hands its path to the running program.
  std::ofstream(work.File("second.txt"), std::ios::binary) << "handed over";
  {
    RunningProgram second(work.path(), {work.File("second.txt")}, "second.log");
    ASSERT_TRUE(second.ok());
    EXPECT_TRUE(WaitFor([&] { return ReadAll(work.File("root/incoming/second.txt")) == "handed over"; }, std::chrono::seconds(60)));
  }
  EXPECT_EQ(program.Terminate(), 0) << ReadAll(work.File("program.log"));

  const std::string saved = ReadAll(work.File("Wexmoor.prefs"));
  EXPECT_NE(saved.find("File0 = " + work.File("stays.txt") + "|Elsewhere|"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("dropped.txt"), std::string::npos) << "uploaded entries leave the queue";
  EXPECT_EQ(saved.find("File1"), std::string::npos) << "the path after the missing one is not queued";
  EXPECT_NE(saved.find("CurrentServer = Local"), std::string::npos);
}

}  // namespace
}  // namespace wexmoor
