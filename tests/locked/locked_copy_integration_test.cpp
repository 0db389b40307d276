#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "locked/locked_copy_generator.h"
#include "locked/locked_settings_block.h"
#include "locked_test_support.h"
#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "platform/files.h"

namespace wexmoor {
namespace {

// A copy made from the real program: its own zone, read back from the copy's
// file with the start-up reader, holds the server; the program is unchanged.
TEST(LockedCopyFromBuiltProgramTest, CopyCarriesTheServerAndPicture) {
  const Text program = NativeToPath(testing::BinaryDir() + "/bin/wexmoor");
  if (!PathExists(program)) GTEST_SKIP() << "the program is not built";
  const std::string before = ReadWholeFile(program).value_or("");

  testing::TempFolder folder;
  const Text target = NativeToPath(folder.File("Locked_Wexmoor"));
  const Text picture = NativeToPath(folder.File("logo.gif"));
  std::string pictureBytes = "GIF89a";
  pictureBytes.append(700, '\x55');
  ASSERT_TRUE(WriteWholeFile(picture, pictureBytes));

  ServerRecord server;
  server.name = u"Local test";
  server.address = u"127.0.0.1/upload/here";
  server.login = u"tester";
  server.password = u"p\u00E4ss";
  server.port = 2121;
  server.timeOut = 5000;
  Translator translator;
  GenerateResult result = GenerateLockedCopy(program, target, server, picture, translator);
  ASSERT_TRUE(result.ok) << Utf16ToUtf8(result.message);

  const std::string copy = ReadWholeFile(target).value_or("");
  ASSERT_EQ(copy.size(), before.size());
  EXPECT_EQ(ReadWholeFile(program).value_or(""), before);
  struct stat st;
  ASSERT_EQ(::stat(PathToNative(target).c_str(), &st), 0);
  EXPECT_NE(st.st_mode & 0100, 0u);

  auto area = testing::AreaAfter(copy, LockedSettingsMarker(), kLockedSettingsAreaBytes);
  ASSERT_TRUE(area.has_value());
  ServerTable servers;
  GlobalOptions options;
  ASSERT_TRUE(ReadLockedSettings(testing::AsArea(*area), servers, options));
  EXPECT_EQ(servers.Count(), 1);
  EXPECT_EQ(servers.Get(1).address, server.address);
  EXPECT_EQ(servers.Get(1).login, server.login);
  EXPECT_EQ(servers.Get(1).password, server.password);
  EXPECT_EQ(servers.Get(1).port, 2121);
  EXPECT_EQ(servers.Get(1).timeOut, 5000);
  EXPECT_EQ(options.currentServer, u"Local test");
  EXPECT_EQ(options.hideServerList, 1);
  // Address, login and password never stand in plain in the copy.
  EXPECT_EQ(copy.find(testing::MarkerBytes(u"tester")), std::string::npos);
  EXPECT_EQ(copy.find(testing::MarkerBytes(u"127.0.0.1/upload")), std::string::npos);

  auto pictureArea = testing::AreaAfter(copy, LockedPictureMarker(), kLockedPictureAreaBytes);
  ASSERT_TRUE(pictureArea.has_value());
  EXPECT_EQ(pictureArea->substr(0, pictureBytes.size()), pictureBytes);
}

}  // namespace
}  // namespace wexmoor
