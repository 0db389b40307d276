#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <thread>

#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "settings/settings_store.h"

namespace wexmoor {
namespace {

using testing::TempFolder;

constexpr int kEntries = 2000;

struct Model {
  ServerTable servers;
  GlobalOptions options;
  UploadQueue queue;
  UiMessageRing addRing;
};

Text EntryOf(int generation, int i) {
  return u"/data/gen" + IntToText(generation) + u"/file" + IntToText(i) + u".bin|Gen" + IntToText(generation) + u"|sub";
}

void FillGeneration(Model& m, int generation) {
  ServerRecord record;
  record.name = u"Gen" + IntToText(generation);
  record.password = u"pw" + IntToText(generation);
  m.servers.Set(1, record);
  for (int i = 0; i < kEntries; ++i) m.queue.Append(EntryOf(generation, i));
  m.options.language = u"English";
}

// Which generation the file holds, or -1 when it is not one whole save.
int GenerationOnDisk(const Text& path) {
  std::ifstream in(Utf16ToUtf8(path), std::ios::binary);
  char mark[3] = {};
  if (!in.read(mark, 3) || std::string(mark, 3) != "\xEF\xBB\xBF") return -1;
  Model m;
  LoadSettings(path, false, m.servers, m.options, m.queue, m.addRing);
  ServerRecord first = m.servers.Get(1);
  if (m.options.storedVersion != u"1.83") return -1;
  if (first.name.size() < 4 || m.servers.Count() != 1) return -1;
  const int generation = static_cast<int>(TextToInt(TextView(first.name).substr(3)));
  if (first.password != u"pw" + IntToText(generation)) return -1;
  std::vector<Text> texts = m.queue.Texts();
  if (texts.size() != static_cast<std::size_t>(kEntries)) return -1;
  for (int i = 0; i < kEntries; ++i)
    if (texts[static_cast<std::size_t>(i)] != EntryOf(generation, i)) return -1;
  return generation;
}

// Saves generation `generation` in a child that is killed `delayUs` after it
// starts saving. Returns true when the kill came before the child was done.
bool SaveAndKill(const Text& path, int generation, int delayUs) {
  int ready[2];
  if (::pipe(ready) != 0) return false;
  pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    Model m;
    FillGeneration(m, generation);
    std::mt19937 random(static_cast<unsigned>(generation));
    char go = 1;
    if (::write(ready[1], &go, 1) != 1) ::_exit(2);
    SaveSettings(path, false, m.servers, m.options, m.queue, std::nullopt, random);
    ::_exit(0);
  }
  ::close(ready[1]);
  char go = 0;
  bool started = ::read(ready[0], &go, 1) == 1;
  ::close(ready[0]);
  if (started) std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFSIGNALED(status);
}

TEST(SaveCrash, KilledSaveLeavesTheOldOrTheNewFileWhole) {
  TempFolder dir;
  const Text path = Utf8ToUtf16(dir.File("Wexmoor.prefs"));
  long long saveUs = 0;
  {
    Model first;
    FillGeneration(first, 0);
    std::mt19937 random(1);
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(SaveSettings(path, false, first.servers, first.options, first.queue, std::nullopt, random));
    saveUs = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    std::cout << "[ timing ] one save of " << kEntries << " entries: " << saveUs << " us\n";
  }
  ASSERT_EQ(GenerationOnDisk(path), 0);

  // Kill moments spread over the save and a little beyond it.
  const int spanUs = static_cast<int>(std::max(2000LL, saveUs * 3));
  std::mt19937 moments(2024);
  int onDisk = 0, killedEarly = 0, sawOld = 0, sawNew = 0;
  for (int run = 0; run < 200; ++run) {
    const int next = onDisk + 1;
    if (SaveAndKill(path, next, std::uniform_int_distribution<int>(0, spanUs)(moments))) ++killedEarly;
    const int found = GenerationOnDisk(path);
    ASSERT_TRUE(found == onDisk || found == next) << "run " << run << ": found " << found << ", expected "
                                                  << onDisk << " or " << next;
    (found == next ? sawNew : sawOld)++;
    onDisk = found;
  }
  std::cout << "[ crash  ] 200 kills: " << killedEarly << " before the child ended; old file kept " << sawOld
            << " times, new file " << sawNew << " times\n";
  EXPECT_GT(killedEarly, 0);
}

// The program as a user runs it: a hand-written file, SIGTERM, a saved file.
TEST(SaveCrash, ProgramRewritesAHandWrittenFileOnTermSignal) {
  const std::string program = testing::BinaryDir() + "/bin/wexmoor";
  if (!std::filesystem::exists(program)) GTEST_SKIP() << "the program is not built";
  TempFolder dir;
  {
    std::ofstream out(dir.File("Wexmoor.prefs"), std::ios::binary);
    out << "ServerName1 = Home\nServerAdress1 = 127.0.0.1\nServerLogin1 = alice\nServerPassword1 = s3cret\n"
           "File0 = /tmp/one.txt|Home|\nFile1 = /tmp/two.txt|Home|docs\nPortFTP = 0\n";
  }
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Wait until the program blocks SIGTERM (it then reads it as a close request).
  const std::string status = "/proc/" + std::to_string(child) + "/status";
  bool watching = false;
  for (int i = 0; i < 1000 && !watching; ++i) {
    std::ifstream in(status);
    std::string line;
    while (std::getline(in, line))
      if (line.rfind("SigBlk:", 0) == 0) watching = (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
    if (!watching) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(watching);
  ASSERT_EQ(::kill(child, SIGTERM), 0);
  int wstatus = 0;
  pid_t done = 0;
  for (int i = 0; i < 1000 && done == 0; ++i) {
    done = ::waitpid(child, &wstatus, WNOHANG);
    if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (done == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &wstatus, 0);
    FAIL() << "the program did not end within 10 s";
  }
  ASSERT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(WEXITSTATUS(wstatus), 0);

  std::ifstream in(dir.File("Wexmoor.prefs"), std::ios::binary);
  const std::string saved((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(saved.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(saved.find("ServerPassword1 = #\xC2\xA7"), std::string::npos);
  EXPECT_EQ(saved.find("s3cret"), std::string::npos);
  const auto one = saved.find("File0 = /tmp/one.txt|Home|\r\n");
  const auto two = saved.find("File1 = /tmp/two.txt|Home|docs\r\n");
  EXPECT_NE(one, std::string::npos);
  EXPECT_NE(two, std::string::npos);
  EXPECT_LT(one, two);
  EXPECT_NE(saved.find("PortFTP = 21\r\n"), std::string::npos);
  EXPECT_NE(saved.find("NoVersion = 1.83\r\n"), std::string::npos);
}

}  // namespace
}  // namespace wexmoor
