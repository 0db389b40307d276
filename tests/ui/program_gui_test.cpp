// The built program as a user starts it: in a folder with its preference
// file, a real FTP server, a path on the command line, and SIGTERM to end it.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
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

// The first visible window whose title matches `title` (an extended regular
// expression), waited for up to 30 s; 0 when none shows.
unsigned long WaitForWindow(const std::string& title, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  unsigned long id = 0;
  WaitFor([&] {
    const std::string command = "xdotool search --onlyvisible --name '" + title + "' 2>/dev/null";
    if (FILE* out = popen(command.c_str(), "r")) {
      if (std::fscanf(out, "%lu", &id) != 1) id = 0;
      pclose(out);
    }
    return id != 0;
  }, limit);
  return id;
}

// The titles of the windows shown now, for a failure's message.
std::string ShownWindows() {
  std::string titles;
  if (FILE* out = popen("xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, out)) titles.append(line);
    pclose(out);
  }
  return titles;
}

// A click at (x, y) inside window `id` (no window manager: no frame).
void ClickIn(unsigned long id, int x, int y) {
  const std::string command = "xdotool mousemove --window " + std::to_string(id) + " " + std::to_string(x) + " " +
                              std::to_string(y) + " click 1";
  ASSERT_EQ(std::system(command.c_str()), 0);
}

// Clicks at (x, y) in `id` until a window titled `title` shows (a window
// just mapped may not take the first click yet); its id, or 0.
unsigned long ClickUntil(unsigned long id, int x, int y, const std::string& title) {
  for (int attempt = 0; id != 0 && attempt < 3; ++attempt) {
    ClickIn(id, x, y);
    if (const unsigned long shown = WaitForWindow(title, std::chrono::seconds(10))) return shown;
  }
  return 0;
}

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

// Settings changed while the program runs reach the file within about 2 s,
// not only at a clean exit: a server added in the dialog, and the window's
// place. The program is killed afterwards; the file read is what it left.
TEST(ProgramGuiTest, SettingsChangedWhileRunningAreOnDiskWithoutAnExit) {
  testing::TempFolder work;
  std::ofstream(work.File("Wexmoor.prefs"), std::ios::binary)
      << "\xEF\xBB\xBFLangue$ = English\r\nNoVersion = 1.83\r\nDisableUpdates = 1\r\n"
         "ServerName1 = Kept\r\nServerAdress1 = 127.0.0.1\r\nServerPort1 = 1\r\nServerTempName1 = 0\r\n";
  RunningProgram program(work.path(), {});
  ASSERT_TRUE(program.ok());
  const unsigned long main = WaitForWindow("^Wexmoor 1\\.83$");
  ASSERT_NE(main, 0u);
  ClickIn(main, 101, 59);  // "New"
  const unsigned long dialog = WaitForWindow("^Server$");
  ASSERT_NE(dialog, 0u);
  const std::string type = "xdotool windowfocus --sync " + std::to_string(dialog) + " type Added";
  ASSERT_EQ(std::system(type.c_str()), 0);
  ClickIn(dialog, 450, 340);  // "OK"
  const std::string move = "xdotool windowmove --sync " + std::to_string(main) + " 321 123";
  ASSERT_EQ(std::system(move.c_str()), 0);

  const auto saved = [&] { return ReadAll(work.File("Wexmoor.prefs")); };
  EXPECT_TRUE(WaitFor([&] { return saved().find("ServerName2 = Added") != std::string::npos; },
                      std::chrono::seconds(5)))
      << saved();
  EXPECT_TRUE(WaitFor([&] { return saved().find("FenetreX = 321") != std::string::npos; }, std::chrono::seconds(5)))
      << saved();
  program.EndWith(SIGKILL, 2000);
  const std::string left = saved();
  EXPECT_NE(left.find("ServerName1 = Kept"), std::string::npos) << left;
  EXPECT_NE(left.find("ServerTempName1 = 0"), std::string::npos) << left;
}

// A desktop session's logout sends SIGTERM and, soon after, SIGKILL: in every
// state that waits for the user, a close signal must end what is open, save
// and end the program with 0 within 2 s.
TEST(ProgramGuiTest, CloseSignalInEveryModalStateSavesAndEndsWithinTwoSeconds) {
  const std::string known = "\xEF\xBB\xBFLangue$ = English\r\nNoVersion = 1.83\r\nDisableUpdates = 1\r\n";
  const std::string oneServer = known + "ServerName1 = Kept\r\nServerAdress1 = 127.0.0.1\r\nServerPort1 = 1\r\n";
  const std::string mainTitle = "^Wexmoor 1\\.83$";
  struct State {
    const char* name;
    std::string prefs;  // empty: a first start
    bool fileArgument;
    std::function<bool(const std::string& folder)> reach;
    int signal;
  };
  const std::vector<State> states{
      {"language chooser", "", false, [](const std::string&) { return WaitForWindow("^Languages$") != 0; }, SIGTERM},
      {"welcome window", "\xEF\xBB\xBFLangue$ = English\r\nNoVersion = 1.82\r\nDisableUpdates = 1\r\n", false,
       [](const std::string&) { return WaitForWindow("^Welcome to this new version!$") != 0; }, SIGINT},
      // No server to send the command-line file to: a box before the main loop.
      {"message box at start-up", known, true, [](const std::string&) { return WaitForWindow("^Error$") != 0; },
       SIGTERM},
      // A box opened by the main loop's pass: the preference file spoilt
      // while the program runs is set aside, and the program says so. (A
      // later start's file without a server chosen no longer opens a box:
      // the later start is refused and says why.)
      {"message box from the main loop", known, false,
       [&](const std::string& folder) {
         if (!WaitForWindow(mainTitle)) return false;
         std::ofstream(folder + "/Wexmoor.prefs", std::ios::binary) << std::string("\0\0spoilt", 8);
         return WaitForWindow("^Wexmoor$") != 0;
       },
       SIGTERM},
      {"server dialog", oneServer, false,
       [&](const std::string&) {
         return ClickUntil(WaitForWindow(mainTitle), 101, 59, "^Server$") != 0;  // "New"
       },
       SIGTERM},
      {"About", oneServer, false,
       [&](const std::string&) {
         return ClickUntil(WaitForWindow(mainTitle), 171, 13, "^About Wexmoor 1\\.83$") != 0;  // "?"
       },
       SIGINT},
      {"generator dialog over About", oneServer, false,
       [&](const std::string&) {
         const unsigned long about = ClickUntil(WaitForWindow(mainTitle), 171, 13, "^About Wexmoor 1\\.83$");
         // "Generate a locked version of Wexmoor"
         return ClickUntil(about, 190, 397, "^Generate a locked version of Wexmoor$") != 0;
       },
       SIGTERM},
  };
  for (const State& state : states) {
    SCOPED_TRACE(state.name);
    testing::TempFolder work;
    std::ofstream(work.File("file.txt"), std::ios::binary) << "x";
    if (!state.prefs.empty()) std::ofstream(work.File("Wexmoor.prefs"), std::ios::binary) << state.prefs;
    std::vector<std::string> args;
    if (state.fileArgument) args.push_back(work.File("file.txt"));
    RunningProgram program(work.path(), args);
    ASSERT_TRUE(program.ok());
    ASSERT_TRUE(state.reach(work.path())) << ReadAll(work.File("program.log")) << "windows shown: " << ShownWindows() << "status (-1: running): " << program.Wait(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(program.EndWith(state.signal, 2000), 0) << ReadAll(work.File("program.log"));
    std::printf("[ figure   ] %s: ended %lld ms after the signal\n", state.name,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - sent).count()));
    // A first start ended in its language chooser saves nothing: the chooser
    // (and the welcome) come again next time.
    if (state.prefs.empty()) {
      EXPECT_FALSE(fs::exists(work.File(".config/wexmoor/Wexmoor.prefs")))
          << ReadAll(work.File(".config/wexmoor/Wexmoor.prefs"));
      continue;
    }
    const std::string saved = ReadAll(work.File("Wexmoor.prefs"));
    EXPECT_NE(saved.find("FenetreX = "), std::string::npos) << "saved with the window's place: " << saved;
    EXPECT_NE(saved.find("Langue$ = English"), std::string::npos) << saved;
  }
}

// "Open with" while the first start still shows the language chooser: the
// later start ends with 0 at once, and its file is queued through drop intake
// once the window is up (here for the current server, which does not answer,
// so the entry stays queued and is saved).
TEST(ProgramGuiTest, SecondStartDuringTheLanguageChooserIsAnsweredAndQueuedLater) {
  testing::TempFolder work;
  std::ofstream(work.File("opened.txt"), std::ios::binary) << "x";
  std::ofstream(work.File("Wexmoor.prefs"), std::ios::binary)
      << "\xEF\xBB\xBFServerName1 = Local\r\nServerAdress1 = 127.0.0.1\r\nServerPort1 = 1\r\n"
         "CurrentServer = Local\r\nNoVersion = 1.83\r\nDisableUpdates = 1\r\n";
  RunningProgram program(work.path(), {});
  ASSERT_TRUE(program.ok());
  const unsigned long chooser = WaitForWindow("^Languages$");
  ASSERT_NE(chooser, 0u) << ReadAll(work.File("program.log"));

  const auto started = std::chrono::steady_clock::now();
  RunningProgram second(work.path(), {work.File("opened.txt")}, "second.log");
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(second.Wait(10000), 0) << ReadAll(work.File("second.log"));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));

  ClickIn(chooser, 390, 71);  // OK
  ASSERT_NE(WaitForWindow("^Wexmoor 1\\.83$"), 0u);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(program.Terminate(), 0) << ReadAll(work.File("program.log"));
  const std::string saved = ReadAll(work.File("Wexmoor.prefs"));
  EXPECT_NE(saved.find("File0 = " + work.File("opened.txt") + "|Local|"), std::string::npos) << saved;
}

}  // namespace
}  // namespace wexmoor
