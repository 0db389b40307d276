// A locked copy made from the built program, started as its user would: in a
// fresh folder, with a file on its command line, on a display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "locked/locked_copy_generator.h"
#include "peers/program_runner.h"
#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "i18n/language_translator.h"

namespace wexmoor {
namespace {

namespace fs = std::filesystem;
using testing::ReadAll;
using testing::RunningProgram;
using testing::WaitFor;

// Answers the first-start language chooser: its OK button is 85 pixels from
// the right and 30 from the bottom of a 440 x 90 window. A window just mapped
// may miss a click, so it clicks again until the chooser is gone.
void AnswerLanguageChooser() {
  std::system(
      "for i in $(seq 1 200); do id=$(xdotool search --name '^Languages$' 2>/dev/null | head -n 1); "
      "[ -n \"$id\" ] && break; sleep 0.1; done; "
      "for i in $(seq 1 20); do [ -n \"$id\" ] || break; "
      "xdotool mousemove --window \"$id\" 390 71 click 1 >/dev/null 2>&1; sleep 0.5; "
      "id=$(xdotool search --onlyvisible --name '^Languages$' 2>/dev/null | head -n 1); done");
}

struct CopyRun {
  std::string prefs;
  std::string log;
  bool uploaded = false;
  int exitCode = -2;
};

CopyRun GenerateAndRun(const std::string& pictureFile, const std::string& shotName) {
  CopyRun run;
  testing::TempFolder work;
  fs::create_directories(work.File("root/drop"));
  testing::PyFtpdServer ftp(work.File("root"), "locked-user", "locked-pass");
  EXPECT_TRUE(ftp.ok()) << ftp.error();
  ServerRecord server;
  server.name = u"Client drop box";
  server.address = u"127.0.0.1/drop";
  server.login = u"locked-user";
  server.password = u"locked-pass";
  server.port = ftp.port();
  Translator translator(u"English");
  const std::string copy = work.File("Locked_Wexmoor");
  GenerateResult result = GenerateLockedCopy(NativeToPath(testing::BinaryDir() + "/bin/wexmoor"),
                                             NativeToPath(copy), server, NativeToPath(pictureFile), translator);
  EXPECT_TRUE(result.ok) << Utf16ToUtf8(result.message);
  if (!result.ok) return run;

  fs::create_directories(work.File("user"));
  // The copy's own preference file in the folder: the portable set-up.
  std::ofstream(work.File("user/LockedWXM.prefs"), std::ios::binary) << "";
  std::ofstream(work.File("user/report.txt"), std::ios::binary) << "for the locked server";
  RunningProgram program(work.File("user"), {work.File("user/report.txt")}, "program.log", copy);
  EXPECT_TRUE(program.ok());
  AnswerLanguageChooser();
  run.uploaded = WaitFor(
      [&] { return ReadAll(work.File("root/drop/report.txt")) == "for the locked server"; }, std::chrono::seconds(60));
  // Let the main loop take the uploaded entry off the list before the picture.
  WaitFor([] { return false; }, std::chrono::seconds(2));
  testing::TakeScreenshot(shotName);
  run.exitCode = program.Terminate();
  run.prefs = ReadAll(work.File("user/LockedWXM.prefs"));
  run.log = ReadAll(work.File("user/program.log"));
  EXPECT_FALSE(fs::exists(work.File("user/Wexmoor.prefs")));
  if (!run.uploaded) ADD_FAILURE() << ReadAll(work.File("user/program.log"));
  return run;
}

class LockedCopyProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(testing::BinaryDir() + "/bin/wexmoor")) GTEST_SKIP() << "program not built";
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool missing";
  }
};

TEST_F(LockedCopyProgram, StartsLockedUploadsToItsServerAndKeepsNoServerKeys) {
  CopyRun run = GenerateAndRun("", "locked_copy");
  EXPECT_TRUE(run.uploaded);
  EXPECT_EQ(run.exitCode, 0) << run.log;
  EXPECT_NE(run.prefs.find("NoVersion = 1.83"), std::string::npos) << run.prefs;
  EXPECT_EQ(run.prefs.find("ServerName"), std::string::npos) << run.prefs;
  EXPECT_EQ(run.prefs.find("locked-pass"), std::string::npos) << run.prefs;
}

TEST_F(LockedCopyProgram, CarriesItsPictureFittedToTheBox) {
  testing::TempFolder pictures;
  const std::string png = pictures.File("logo.png");
  const std::string make = "convert -size 400x90 gradient:navy-gold '" + png + "' 2>/dev/null";
  if (std::system(make.c_str()) != 0 || fs::file_size(png) > 15000) GTEST_SKIP() << "no picture tool";
  CopyRun run = GenerateAndRun(png, "locked_copy_picture");
  EXPECT_TRUE(run.uploaded);
  EXPECT_EQ(run.exitCode, 0) << run.log;
}

}  // namespace
}  // namespace wexmoor
