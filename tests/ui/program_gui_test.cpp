// The built program as a user starts it: in a folder with its preference
// file, a real FTP server, a path on the command line, and SIGTERM to end it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"

extern char** environ;

namespace wexmoor {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

bool WaitFor(const std::function<bool()>& done, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// The program running in `folder` with `args`; ended with SIGTERM.
class RunningProgram {
 public:
  RunningProgram(const std::string& folder, const std::vector<std::string>& args,
                 const std::string& logName = "program.log") {
    const std::string program = testing::BinaryDir() + "/bin/wexmoor";
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      if (entry.rfind("WEXMOOR_SITE=", 0) == 0) continue;
      env.push_back(entry);
    }
    env.push_back("WEXMOOR_SITE=");  // no web traffic
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    const std::string log = folder + "/" + logName;
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    ok_ = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~RunningProgram() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ok() const { return ok_; }
  // SIGTERM, then the exit status (-1 when it did not end within 20 s).
  int Terminate() {
    kill(pid_, SIGTERM);
    int status = 0;
    const bool done = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 20);
    if (!done) return -1;
    ended_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  bool ok_ = false;
  bool ended_ = false;
};

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
  EXPECT_TRUE(WaitFor([&] { return ReadAll(arrived) == "named on the command line"; }, 60))
      << ReadAll(work.File("program.log"));
  EXPECT_FALSE(fs::exists(work.File("root/incoming/stays.txt")));

  // A second start in the same folder hands its path to the running program.
  std::ofstream(work.File("second.txt"), std::ios::binary) << "handed over";
  {
    RunningProgram second(work.path(), {work.File("second.txt")}, "second.log");
    ASSERT_TRUE(second.ok());
    EXPECT_TRUE(WaitFor([&] { return ReadAll(work.File("root/incoming/second.txt")) == "handed over"; }, 60));
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
