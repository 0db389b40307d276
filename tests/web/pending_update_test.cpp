#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "peers/test_paths.h"
#include "platform/files.h"
#include "platform/process.h"
#include "web/pending_update.h"

namespace wexmoor {
namespace {

// Waits (boundedly) for a file that a started script writes.
std::string WaitForFile(const Text& path) {
  for (int i = 0; i < 500; ++i) {
    auto bytes = ReadWholeFile(path);
    if (bytes && !bytes->empty() && bytes->back() == '\n') return *bytes;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "<never written>";
}

const std::string kImage = "#!/bin/sh\necho \"$1\" > \"$PWD/handed-over.txt\"\n";

std::span<const unsigned char> ImageBytes() {
  return {reinterpret_cast<const unsigned char*>(kImage.data()), kImage.size()};
}

TEST(PendingUpdateTest, WaitingFolderHandsOverToTheUpdater) {
  testing::TempFolder folder;
  const Text dir = AsciiToText(folder.path());
  WriteWholeFile(dir + u"/UpdateProg.exe", "stale");
  ASSERT_TRUE(MakeFolder(dir + u"/UpdateProg"));
  EXPECT_TRUE(ApplyPendingUpdate(false, dir, u"/opt/my apps/wexmoor", ImageBytes()));
  EXPECT_EQ(ReadWholeFile(dir + u"/UpdateProg.exe").value_or(""), kImage);
  struct stat st;
  ASSERT_EQ(::stat((folder.path() + "/UpdateProg.exe").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_EQ(WaitForFile(dir + u"/handed-over.txt"), "/opt/myespaceapps/wexmoor\n");
}

TEST(PendingUpdateTest, NothingHappensWithoutFolderOrWithUpdatesDisabled) {
  testing::TempFolder folder;
  const Text dir = AsciiToText(folder.path());
  EXPECT_FALSE(ApplyPendingUpdate(false, dir, u"/x", ImageBytes()));
  ASSERT_TRUE(MakeFolder(dir + u"/UpdateProg"));
  EXPECT_FALSE(ApplyPendingUpdate(true, dir, u"/x", ImageBytes()));
  EXPECT_FALSE(ApplyPendingUpdate(false, u"", u"/x", ImageBytes()));
  EXPECT_FALSE(ApplyPendingUpdate(false, dir, u"/x", {}));
  EXPECT_FALSE(PathExists(dir + u"/UpdateProg.exe") && FileSize(dir + u"/UpdateProg.exe") > 0);
}

TEST(StartProgramTest, ArgumentsAndFolderArriveAndFailuresAreReported) {
  testing::TempFolder folder;
  const Text dir = AsciiToText(folder.path());
  WriteFileAtomically(dir + u"/tool.sh", "#!/bin/sh\necho \"$#:$1:$2\" > out.txt\n", 0755);
  EXPECT_TRUE(StartProgram(u"./tool.sh", {u"a b", u"c"}, dir));
  EXPECT_EQ(WaitForFile(dir + u"/out.txt"), "2:a b:c\n");
  EXPECT_FALSE(StartProgram(dir + u"/missing.sh", {}, dir));
  WriteWholeFile(dir + u"/plain.txt", "not a program");
  EXPECT_FALSE(StartProgram(dir + u"/plain.txt", {}, dir));
  EXPECT_FALSE(StartProgram(u"./tool.sh", {}, dir + u"/no-such-folder"));
}

}  // namespace
}  // namespace wexmoor
