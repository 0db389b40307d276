// Saving the preference file when the disk takes only part of it: the
// program, run without a window in a child process whose file size limit
// stops the save partway, must keep the old file whole, leave no half-written
// file behind and say on its error stream that nothing was saved.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "program/windowless_host.h"
#include "settings/settings_store.h"
#include "program/startup_sequence.h"

namespace wexmoor {
namespace {

using testing::TempFolder;

constexpr int kEntries = 3000;

struct Outcome {
  bool exited = false;
  int code = -1;
  std::string errors;
};

// Runs the program's start-up, main loop and shutdown in a child working in
// `folder`, with files limited to `limit` bytes (no limit when negative); the
// main loop ends as soon as it runs.
Outcome RunProgramLimited(const std::string& folder, long long limit) {
  Outcome outcome;
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return outcome;
  // Nothing buffered may be written twice by the child.
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeFds[0]);
    ::dup2(pipeFds[1], 2);
    if (::chdir(folder.c_str()) != 0) ::_exit(120);
    if (limit >= 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      rlimit r{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
      if (::setrlimit(RLIMIT_FSIZE, &r) != 0) ::_exit(121);
    }
    int code = 0;
    {
      ProgramState state;
      ProgramServices services(state, {});
      WindowlessHost seams(services, nullptr);
      std::atomic<bool> done{false};
      std::thread closer([&] {
        // Start-up clears the request before the loop; keep asking.
        while (!done.load()) {
          state.flags.quitRequested = true;
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
      });
      code = RunProgram(state, seams, {});
      done = true;
      closer.join();
    }
    ::_exit(code);
  }
  ::close(pipeFds[1]);
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) outcome.errors.append(buffer, static_cast<std::size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  outcome.exited = WIFEXITED(status);
  if (outcome.exited) outcome.code = WEXITSTATUS(status);
  return outcome;
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(SaveWithoutSpace, FailedSaveKeepsTheOldFileAndSaysSo) {
  TempFolder folder;
  const Text path = Utf8ToUtf16(folder.File("Wexmoor.prefs"));
  {
    ServerTable servers;
    ServerRecord record;
    record.name = u"Home";
    record.address = u"127.0.0.1/in";
    record.login = u"alice";
    record.password = u"pw-home";
    servers.Set(1, record);
    GlobalOptions options;
    options.language = u"English";
    UploadQueue queue;
    for (int i = 0; i < kEntries; ++i) queue.Append(u"/data/file" + IntToText(i) + u".bin|Home|sub");
    std::mt19937 random(7);
    ASSERT_TRUE(SaveSettings(path, false, servers, options, queue, std::nullopt, random));
  }
  const std::string old = ReadWholeFile(path).value_or("");
  ASSERT_GT(old.size(), 100000u);

  // Limits from nothing at all to one byte short of the whole file.
  const long long size = static_cast<long long>(old.size());
  for (long long limit : {0LL, 1LL, 3LL, 4096LL, size / 2, size - 1}) {
    SCOPED_TRACE("file size limit " + std::to_string(limit));
    const Outcome outcome = RunProgramLimited(folder.path(), limit);
    ASSERT_TRUE(outcome.exited) << "killed instead of reporting the failed save";
    EXPECT_EQ(outcome.code, 0);
    EXPECT_NE(outcome.errors.find("settings not saved"), std::string::npos) << outcome.errors;
    EXPECT_TRUE(ReadWholeFile(path).value_or("") == old);
    EXPECT_EQ(FolderNames(folder.path()), std::vector<std::string>{"Wexmoor.prefs"});
  }

  // Without a limit the same run saves: passwords are scrambled anew, so the
  // file changes, and it holds the whole queue again.
  const Outcome outcome = RunProgramLimited(folder.path(), -1);
  ASSERT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.errors.find("settings not saved"), std::string::npos) << outcome.errors;
  EXPECT_FALSE(ReadWholeFile(path).value_or("") == old);
  ServerTable servers;
  GlobalOptions options;
  UploadQueue queue;
  UiMessageRing ring;
  LoadSettings(path, false, servers, options, queue, ring);
  EXPECT_EQ(queue.Size(), kEntries);
  EXPECT_EQ(servers.Get(1).password, u"pw-home");
  EXPECT_EQ(FolderNames(folder.path()), std::vector<std::string>{"Wexmoor.prefs"});
}

}  // namespace
}  // namespace wexmoor
