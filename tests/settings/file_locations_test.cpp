#include "settings/file_locations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "peers/test_paths.h"
#include "platform/code_page.h"

namespace wexmoor {
namespace {

using testing::TempFolder;
constexpr TextView kPrefs = u"Wexmoor.prefs";

Text T(const std::string& s) { return Utf8ToUtf16(s); }
std::string N(const Text& t) { return Utf16ToUtf8(t); }

unsigned Mode(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

DesktopEnvironment Environment(const TempFolder& root) {
  DesktopEnvironment e;
  e.currentDirectory = T(root.File("here"));
  e.home = T(root.File("home"));
  e.userId = static_cast<unsigned>(::getuid());
  std::filesystem::create_directories(root.File("here"));
  std::filesystem::create_directories(root.File("home"));
  return e;
}

TEST(FileLocations, ChoosesPortableOrXdgFolders) {
  TempFolder root;
  DesktopEnvironment e = Environment(root);

  // Nothing in the current folder, no XDG variables: below the home folder.
  FileLocations l = ChooseFileLocations(e, kPrefs);
  EXPECT_FALSE(l.portable);
  EXPECT_EQ(N(l.preferenceFile), root.File("home/.config/wexmoor/Wexmoor.prefs"));
  EXPECT_EQ(N(l.workFolder), root.File("home/.cache/wexmoor"));
  EXPECT_EQ(N(l.runtimeFolder), "/tmp/wexmoor-" + std::to_string(::getuid()));

  // The XDG variables win; a relative one counts as unset.
  e.configHome = T(root.File("cfg/"));
  e.cacheHome = u"relative/cache";
  e.runtimeDir = T(root.File("run"));
  l = ChooseFileLocations(e, kPrefs);
  EXPECT_EQ(N(l.preferenceFile), root.File("cfg/wexmoor/Wexmoor.prefs"));
  EXPECT_EQ(N(l.workFolder), root.File("home/.cache/wexmoor"));
  EXPECT_EQ(N(l.runtimeFolder), root.File("run/wexmoor"));

  // A preference file in the current folder: everything stays there but the
  // lock and socket. A locked copy looks for its own name only.
  std::ofstream(root.File("here/Wexmoor.prefs")) << "";
  l = ChooseFileLocations(e, kPrefs);
  EXPECT_TRUE(l.portable);
  EXPECT_EQ(N(l.preferenceFile), root.File("here/Wexmoor.prefs"));
  EXPECT_EQ(N(l.workFolder), root.File("here"));
  EXPECT_EQ(N(l.runtimeFolder), root.File("run/wexmoor"));
  EXPECT_FALSE(ChooseFileLocations(e, u"LockedWXM.prefs").portable);
  std::ofstream(root.File("here/LockedWXM.prefs")) << "";
  EXPECT_TRUE(ChooseFileLocations(e, u"LockedWXM.prefs").portable);

  // No home and no XDG folder at all: the current folder is all there is.
  DesktopEnvironment bare;
  bare.currentDirectory = T(root.File("home"));
  EXPECT_TRUE(ChooseFileLocations(bare, kPrefs).portable);
}

TEST(FileLocations, FoldersAreMadePrivateAndUnsafeRuntimeFoldersRefused) {
  TempFolder root;
  DesktopEnvironment e = Environment(root);
  e.configHome = T(root.File("cfg"));
  e.runtimeDir = T(root.File("run"));
  const FileLocations l = ChooseFileLocations(e, kPrefs);
  std::string error;
  ASSERT_TRUE(PrepareFolders(l, e.userId, &error)) << error;
  EXPECT_EQ(Mode(root.File("cfg/wexmoor")), 0700u);
  EXPECT_EQ(Mode(root.File("run/wexmoor")), 0700u);
  // Existing folders are accepted again.
  EXPECT_TRUE(PrepareFolders(l, e.userId, &error)) << error;

  // A run-time folder others can enter, a link, or another user's folder is
  // never used for the lock and socket.
  ::chmod(root.File("run/wexmoor").c_str(), 0755);
  EXPECT_FALSE(PrepareFolders(l, e.userId, &error));
  EXPECT_NE(error.find("open to other users"), std::string::npos);
  std::filesystem::remove(root.File("run/wexmoor"));
  std::filesystem::create_directories(root.File("elsewhere"));
  ::chmod(root.File("elsewhere").c_str(), 0700);
  std::filesystem::create_directory_symlink(root.File("elsewhere"), root.File("run/wexmoor"));
  EXPECT_FALSE(PrepareFolders(l, e.userId, &error));
  std::filesystem::remove(root.File("run/wexmoor"));
  EXPECT_FALSE(PrepareFolders(l, e.userId + 1, &error));
  EXPECT_NE(error.find("another user"), std::string::npos);

  // A file where the configuration folder should be.
  std::filesystem::remove_all(root.File("cfg"));
  std::ofstream(root.File("cfg")) << "";
  EXPECT_FALSE(PrepareFolders(l, e.userId, &error));
}

TEST(FileLocations, InstanceNameFollowsTheFilesRealPath) {
  TempFolder root;
  std::filesystem::create_directories(root.File("a"));
  std::filesystem::create_directory_symlink(root.File("a"), root.File("link"));
  FileLocations direct;
  direct.preferenceFolder = T(root.File("a"));
  direct.preferenceFile = T(root.File("a/Wexmoor.prefs"));
  FileLocations viaLink = direct;
  viaLink.preferenceFolder = T(root.File("link"));
  viaLink.preferenceFile = T(root.File("link/Wexmoor.prefs"));
  FileLocations other = direct;
  other.preferenceFile = T(root.File("a/LockedWXM.prefs"));

  EXPECT_EQ(InstanceName(direct), InstanceName(viaLink));
  EXPECT_NE(InstanceName(direct), InstanceName(other));
  EXPECT_EQ(N(InstanceName(direct)).rfind("Wexmoor.prefs-", 0), 0u);
  EXPECT_EQ(InstanceName(direct).size(), std::string("Wexmoor.prefs-").size() + 16);
}

}  // namespace
}  // namespace wexmoor
