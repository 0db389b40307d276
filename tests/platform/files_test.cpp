#include "platform/files.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "peers/test_paths.h"
#include "platform/code_page.h"

namespace wexmoor {
namespace {

Text P(const std::string& s) { return NativeToPath(s); }

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 0777;
}

TEST(Files, AtomicWriteCreatesPrivateFileKeepsModesAndLeavesNothingBehind) {
  testing::TempFolder dir;
  const std::string file = dir.File("Wexmoor.prefs");
  ASSERT_TRUE(WriteFileAtomically(P(file), "first"));
  EXPECT_EQ(ModeOf(file), 0600u);
  EXPECT_EQ(*ReadWholeFile(P(file)), "first");

  ::chmod(file.c_str(), 0640);
  // A temporary file left by a save that was killed half-way is reused.
  ASSERT_TRUE(WriteWholeFile(P(file + ".new"), "stale partial"));
  ASSERT_TRUE(WriteFileAtomically(P(file), "second"));
  EXPECT_EQ(*ReadWholeFile(P(file)), "second");
  EXPECT_EQ(ModeOf(file), 0640u);
  auto entries = ListFolder(P(dir.path()));
  ASSERT_TRUE(entries);
  EXPECT_EQ(entries->size(), 1u);
}

TEST(Files, AtomicWriteIntoMissingFolderFailsWithReason) {
  testing::TempFolder dir;
  std::string error;
  EXPECT_FALSE(WriteFileAtomically(P(dir.File("no/such/file")), "x", 0600, &error));
  EXPECT_NE(error.find("cannot create"), std::string::npos);
}

TEST(Files, FolderHelpers) {
  testing::TempFolder dir;
  const std::string deep = dir.File("a/b/c");
  ASSERT_TRUE(MakeFolders(P(deep)));
  EXPECT_TRUE(IsFolder(P(deep)));
  ASSERT_TRUE(WriteWholeFile(P(deep + "/f.txt"), "abc"));
  EXPECT_EQ(FileSize(P(deep + "/f.txt")), 3);
  EXPECT_EQ(FileSize(P(deep)), -1);
  EXPECT_TRUE(RemoveFolderAndFiles(P(deep)));
  EXPECT_FALSE(PathExists(P(deep)));
  EXPECT_EQ(FileNamePart(u"C:\\data\\report.txt"), u"report.txt");
  EXPECT_EQ(FileNamePart(u"/tmp/x/y.zip"), u"y.zip");
}

}  // namespace
}  // namespace wexmoor
