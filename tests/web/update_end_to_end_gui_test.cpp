// The update as a user lives it: the built program finds a newer version on
// a local site, the user answers its boxes, and the next start hands over to
// the updater, which installs the file and starts the program again.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "peers/fake_http_server.h"
#include "peers/program_runner.h"
#include "peers/test_paths.h"

namespace wexmoor {
namespace {

namespace fs = std::filesystem;

using testing::ReadAll;
using testing::RunningProgram;
using testing::WaitFor;

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    ::pclose(pipe);
  }
  return out;
}

// The first visible window titled `title` that is not in `seen`, or "".
std::string WaitForNewWindow(const std::string& title, const std::set<std::string>& seen, int seconds) {
  std::string found;
  WaitFor(
      [&] {
        const std::string ids = Shell("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null");
        std::size_t from = 0;
        while (from < ids.size()) {
          const std::size_t end = ids.find('\n', from);
          const std::string id = ids.substr(from, end == std::string::npos ? std::string::npos : end - from);
          from = end == std::string::npos ? ids.size() : end + 1;
          if (!id.empty() && !seen.contains(id)) {
            found = id;
            return true;
          }
        }
        return false;
      },
      std::chrono::seconds(seconds));
  return found;
}

bool WindowGone(const std::string& id, int seconds) {
  return WaitFor(
      [&] {
        return std::system(("xdotool getwindowname " + id + " >/dev/null 2>&1").c_str()) != 0 ||
               Shell("xdotool search --onlyvisible --name . 2>/dev/null").find(id + "\n") ==
                   std::string::npos;
      },
      std::chrono::seconds(seconds));
}

// Without a window manager the box gets the keyboard only when given it.
void PressReturn(const std::string& id) {
  std::system(
      ("xdotool windowfocus --sync " + id + " >/dev/null 2>&1; xdotool key Return >/dev/null 2>&1").c_str());
}

// A process that exists and has not ended (a zombie counts as ended).
bool Alive(pid_t pid) {
  const std::string stat = ReadAll("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t paren = stat.rfind(')');
  return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

// The owner written in the lock file of the run-time folder `runtime`.
pid_t LockOwner(const std::string& runtime) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(runtime + "/wexmoor", ec)) {
    if (entry.path().extension() != ".lock") continue;
    const std::string text = ReadAll(entry.path().string());
    return text.empty() ? 0 : static_cast<pid_t>(std::atol(text.c_str()));
  }
  return 0;
}

class UpdateEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(testing::BinaryDir() + "/bin/wexmoor")) GTEST_SKIP() << "program not built";
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool missing";
  }
};

TEST_F(UpdateEndToEnd, YesDownloadsAndTheNextStartInstallsThroughTheUpdaterAndRestarts) {
  testing::TempFolder scratch;
  const std::string archive = scratch.File("update.zip");
  const std::string newMarker = "marker of version 1.90\n";
  ASSERT_EQ(std::system(("/usr/bin/python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1], \"w\"); "
                         "z.writestr(\"marker.txt\", sys.argv[2]); z.close()' '" +
                         archive + "' '" + newMarker + "'")
                            .c_str()),
            0);

  testing::FakeHttpServer site;
  testing::HttpRoute log, versions, zip;
  log.body = "ok";
  versions.body = "Wexmoor|1.90|<1.85|" + site.BaseUrl() + "/downloads/update.zip|marker.txt|End|\r\n";
  zip.body = ReadAll(archive);
  ASSERT_GT(zip.body.size(), 1u);
  site.SetRoute("/downloads/log.php", log);
  site.SetRoute("/downloads/versions.txt", versions);
  site.SetRoute("/downloads/update.zip", zip);

  testing::TempFolder work;
  std::ofstream(work.File("Wexmoor.prefs"), std::ios::binary)
      << "\xEF\xBB\xBFLangue$ = English\r\nNoVersion = 1.83\r\n";
  std::ofstream(work.File("marker.txt"), std::ios::binary) << "marker of version 1.83\n";
  const std::string runtime = work.File("run");
  fs::create_directory(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  const std::vector<std::string> env{"WEXMOOR_SITE=" + site.BaseUrl(), "WEXMOOR_UPDATER_WAIT_MS=200",
                                     "XDG_RUNTIME_DIR=" + runtime};

  const auto situation = [&] {
    std::string text = "requests:";
    for (const auto& r : site.Requests()) text += " " + r.target;
    text += "\nwindows:\n" + Shell("for w in $(xdotool search --name . 2>/dev/null); do xdotool getwindowname $w; done");
    text += "folder:\n" + Shell("ls -la '" + work.path() + "' 2>&1");
    return text + "log:\n" + ReadAll(work.File("program.log"));
  };
  RunningProgram first(work.path(), {}, "program.log", {}, env);
  ASSERT_TRUE(first.ok());
  std::set<std::string> answered;

  const std::string question = WaitForNewWindow("Update", answered, 60);
  if (question.empty()) testing::TakeScreenshot("update_question_missing");
  ASSERT_FALSE(question.empty()) << "no update question\n" << situation();
  testing::TakeScreenshot("update_question");
  PressReturn(question);  // Yes is the default answer
  ASSERT_TRUE(WindowGone(question, 10)) << "the question stays open";
  answered.insert(question);

  const std::string willStart = WaitForNewWindow("Update", answered, 30);
  ASSERT_FALSE(willStart.empty()) << "no download announcement\n" << situation();
  testing::TakeScreenshot("update_download_starts");
  PressReturn(willStart);
  ASSERT_TRUE(WindowGone(willStart, 10));
  answered.insert(willStart);

  const std::string notice = WaitForNewWindow("Update", answered, 60);
  ASSERT_FALSE(notice.empty()) << "no download notice\n" << situation();
  testing::TakeScreenshot("update_download_done");
  // The unpacked update waits before the user has even closed the notice.
  EXPECT_EQ(ReadAll(work.File("UpdateProg/marker.txt")), newMarker);
  EXPECT_EQ(ReadAll(work.File("UpdateProg/Paths.txt")), "marker.txt|\r\n");
  EXPECT_FALSE(fs::exists(work.File("Temp.zip")));
  EXPECT_EQ(ReadAll(work.File("marker.txt")), "marker of version 1.83\n")
      << "installed before the next start";
  PressReturn(notice);
  ASSERT_TRUE(WindowGone(notice, 10)) << "the notice stays open";
  EXPECT_EQ(site.RequestsFor("/downloads/update.zip").size(), 1u);

  const pid_t firstPid = first.pid();
  EXPECT_EQ(first.Terminate(), 0) << ReadAll(work.File("program.log"));
  ASSERT_TRUE(fs::is_directory(work.File("UpdateProg"))) << "the update must wait for the next start";

  // The restarted program finds nothing newer, so it asks nothing more.
  versions.body = "Wexmoor|1.83|" + site.BaseUrl() + "/downloads/update.zip|marker.txt|End|\r\n";
  site.SetRoute("/downloads/versions.txt", versions);

  RunningProgram second(work.path(), {}, "second.log", {}, env);
  ASSERT_TRUE(second.ok());
  const pid_t secondPid = second.pid();
  EXPECT_TRUE(WaitFor([&] { return !Alive(secondPid); }, std::chrono::seconds(30))) << "the program does not hand over and end";
  EXPECT_TRUE(fs::exists(work.File("UpdateProg.exe")));

  const std::string lockFile = runtime;
  pid_t restarted = 0;
  const bool installed = WaitFor(
      [&] {
        const pid_t owner = LockOwner(lockFile);
        if (owner > 0 && owner != firstPid && owner != secondPid && Alive(owner)) restarted = owner;
        return restarted != 0 && !fs::exists(work.File("UpdateProg")) &&
               ReadAll(work.File("marker.txt")) == newMarker;
      },
      std::chrono::seconds(60));
  if (restarted != 0) {
    const std::string window =
        "xdotool search --onlyvisible --pid " + std::to_string(restarted) + " --name '^Wexmoor' 2>/dev/null";
    EXPECT_TRUE(WaitFor([&] { return !Shell(window).empty(); }, std::chrono::seconds(60)))
        << "the restarted program shows no window";
  }
  WaitFor([] { return false; }, std::chrono::seconds(1));  // let the new window paint before the picture
  testing::TakeScreenshot("update_restarted");
  EXPECT_TRUE(installed) << "marker: " << ReadAll(work.File("marker.txt"))
                         << "\nUpdateProg left: " << fs::exists(work.File("UpdateProg"))
                         << "\nrestarted pid: " << restarted << "\n"
                         << ReadAll(work.File("second.log"));
  EXPECT_EQ(second.Terminate(), 0) << "the hand-over ends the program without a fault";
  if (restarted != 0) {
    ::kill(restarted, SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return !Alive(restarted); }, std::chrono::seconds(20))) << "the restarted program does not end";
    if (Alive(restarted)) ::kill(restarted, SIGKILL);
  }
}

}  // namespace
}  // namespace wexmoor
