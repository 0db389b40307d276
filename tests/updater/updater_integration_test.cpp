#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "peers/test_paths.h"
#include "updater/updater.h"

namespace wexmoor::updater {
namespace {

void Write(const std::string& path, const std::string& bytes, bool executable = false) {
  std::ofstream(path, std::ios::binary) << bytes;
  if (executable) ::chmod(path.c_str(), 0755);
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return in ? s.str() : "<missing>";
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Lines a started script appends; waits until `lines` are there.
std::string WaitForLines(const std::string& path, int lines) {
  for (int i = 0; i < 500; ++i) {
    std::string text = Read(path);
    if (text != "<missing>" && std::count(text.begin(), text.end(), '\n') >= lines) return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return Read(path);
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

class UpdaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::mkdir((cur + "/UpdateProg").c_str(), 0755);
    ::mkdir((cur + "/my app").c_str(), 0755);
    Write(cur + "/my app/wexmoor.sh", "#!/bin/sh\necho old >> \"$PWD/started.txt\"\n", true);
    // Unpacked files carry no execute permission.
    Write(cur + "/UpdateProg/wexmoor.sh", "#!/bin/sh\necho program >> \"$PWD/started.txt\"\n");
    Write(cur + "/UpdateProg/setup.sh", "#!/bin/sh\necho setup >> \"$PWD/started.txt\"\n");
  }
  testing::TempFolder folder;
  const std::string& cur = folder.path();
};

TEST_F(UpdaterTest, BuiltUpdaterInstallsRemovesTheFolderAndStartsProgramThenSetup) {
  Write(cur + "/UpdateProg/Paths.txt", "my app/wexmoor.sh|setup.sh|execute:setup.sh|\r\n");
  const std::string program = cur + "/my app/wexmoor.sh";
  std::string encoded = program;
  for (std::size_t at; (at = encoded.find(' ')) != std::string::npos;) encoded.replace(at, 1, "espace");
  const std::string command = "cd " + Quoted(cur) + " && WEXMOOR_UPDATER_WAIT_MS=10 " +
                              Quoted(wexmoor::testing::BinaryDir() + "/bin/wexmoor-updater") + " " +
                              Quoted(encoded) + " 2>" + Quoted(cur + "/errors.txt");
  ASSERT_EQ(std::system(command.c_str()), 0);

  EXPECT_EQ(Read(program), "#!/bin/sh\necho program >> \"$PWD/started.txt\"\n");
  struct stat st;
  ASSERT_EQ(::stat(program.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_FALSE(Exists(cur + "/UpdateProg"));
  const std::string started = WaitForLines(cur + "/started.txt", 2);
  EXPECT_NE(started.find("program\n"), std::string::npos) << started;
  EXPECT_NE(started.find("setup\n"), std::string::npos) << started;
  EXPECT_EQ(started.find("old"), std::string::npos);
  EXPECT_EQ(Read(cur + "/errors.txt"), "");
}

TEST_F(UpdaterTest, RunItemsInAnyCaseAndNewFolderLevels) {
  Write(cur + "/UpdateProg/fr.txt", "bonjour");
  Write(cur + "/tool.sh", "#!/bin/sh\necho tool >> \"$PWD/started.txt\"\n", true);
  Write(cur + "/UpdateProg/Paths.txt", "lang\\deep\\fr.txt|EXECUTE:tool.sh|\r\n");
  std::ostringstream errors;
  EXPECT_EQ(InstallUpdate(cur, "", errors), 0);
  EXPECT_EQ(Read(cur + "/lang/deep/fr.txt"), "bonjour");
  EXPECT_EQ(WaitForLines(cur + "/started.txt", 1), "tool\n");
  EXPECT_EQ(errors.str(), "");
}

TEST_F(UpdaterTest, UnsafeAndMissingItemsAreReportedAndSkipped) {
  Write(cur + "/UpdateProg/x", "escape");
  Write(cur + "/UpdateProg/Paths.txt", "../x|/tmp/x|missing.txt|execute:../x|my app/wexmoor.sh|\r\n");
  std::ostringstream errors;
  EXPECT_EQ(InstallUpdate(cur, "", errors), 4);
  EXPECT_EQ(errors.str(),
            "Error while updating x\nError while updating x\nError while updating missing.txt\n"
            "Error while updating x\n");
  EXPECT_FALSE(Exists(cur + "/../x") && Read(cur + "/../x") == "escape");
  EXPECT_EQ(Read(cur + "/my app/wexmoor.sh"), "#!/bin/sh\necho program >> \"$PWD/started.txt\"\n");
  EXPECT_FALSE(Exists(cur + "/UpdateProg"));
}

TEST_F(UpdaterTest, WithoutInstallListTheFolderGoesAndTheProgramRestarts) {
  std::ostringstream errors;
  EXPECT_EQ(InstallUpdate(cur, DecodeProgramPath(cur + "/myespaceapp/wexmoor.sh"), errors), 0);
  EXPECT_FALSE(Exists(cur + "/UpdateProg"));
  EXPECT_EQ(WaitForLines(cur + "/started.txt", 1), "old\n");
}

}  // namespace
}  // namespace wexmoor::updater

namespace wexmoor::updater {
namespace {

// The desktop set-up keeps the unpacked update in the cache folder: the
// built updater, started in the program's folder, takes it from the folder
// named by its second argument.
TEST(UpdaterFromWorkFolder, InstallsIntoItsFolderFromTheNamedOne) {
  testing::TempFolder program, cache;
  const std::string work = cache.path() + "/with space";
  ::mkdir(work.c_str(), 0700);
  ::mkdir((work + "/UpdateProg").c_str(), 0755);
  Write(work + "/UpdateProg/data.txt", "new");
  Write(work + "/UpdateProg/Paths.txt", "data.txt|\r\n");
  Write(program.path() + "/data.txt", "old");
  std::string encoded = work;
  for (std::size_t at; (at = encoded.find(' ')) != std::string::npos;) encoded.replace(at, 1, "espace");
  const std::string command = "cd " + Quoted(program.path()) + " && WEXMOOR_UPDATER_WAIT_MS=10 " +
                              Quoted(wexmoor::testing::BinaryDir() + "/bin/wexmoor-updater") + " '' " +
                              Quoted(encoded);
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(Read(program.path() + "/data.txt"), "new");
  EXPECT_FALSE(Exists(work + "/UpdateProg"));
  EXPECT_FALSE(Exists(work + "/data.txt"));
}

}  // namespace
}  // namespace wexmoor::updater
