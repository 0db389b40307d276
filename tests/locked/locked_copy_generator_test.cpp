#include "locked/locked_copy_generator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "locked/locked_settings_block.h"
#include "locked/picture_fit.h"
#include "locked_test_support.h"
#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "platform/files.h"

namespace wexmoor {
namespace {

using testing::AreaAfter;
using testing::AsArea;
using testing::FakeProgramImage;

Text T(const std::string& path) { return NativeToPath(path); }

class LockedCopyGeneratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteWholeFile(T(program), FakeProgramImage()));
    ::chmod(program.c_str(), 0755);
    server.name = u"Shop";
    server.address = u"127.0.0.1/incoming";
    server.login = u"client";
    server.password = u"pw";
    server.port = 2121;
  }

  std::string Picture(std::size_t size) {
    std::string path = folder.File("picture" + std::to_string(size) + ".jpg");
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(1 + i % 250);
    EXPECT_TRUE(WriteWholeFile(T(path), bytes));
    return path;
  }

  GenerateResult Generate(const std::string& picture = {}) {
    return GenerateLockedCopy(T(program), T(target), server, T(picture), translator);
  }

  std::string Target() { return ReadWholeFile(T(target)).value_or(""); }

  std::string PictureArea() {
    return AreaAfter(Target(), LockedPictureMarker(), kLockedPictureAreaBytes).value_or("");
  }

  // The settings read back from the copy's file by the start-up reader.
  bool ReadBack(ServerTable& servers, GlobalOptions& options) {
    auto area = AreaAfter(Target(), LockedSettingsMarker(), kLockedSettingsAreaBytes);
    return area && ReadLockedSettings(AsArea(*area), servers, options);
  }

  testing::TempFolder folder;
  std::string program = folder.File("wexmoor");
  std::string target = folder.File("Locked_Wexmoor");
  ServerRecord server;
  Translator translator;
};

TEST_F(LockedCopyGeneratorTest, CopyCarriesTheServerKeepsTheRestAndIsExecutable) {
  GenerateResult result = Generate();
  ASSERT_TRUE(result.ok) << Utf16ToUtf8(result.message);
  EXPECT_TRUE(result.message.empty());

  const std::string original = FakeProgramImage();
  const std::string copy = Target();
  ASSERT_EQ(copy.size(), original.size());
  EXPECT_EQ(copy.substr(0, 300), original.substr(0, 300));
  EXPECT_EQ(PictureArea(), std::string(kLockedPictureAreaBytes, '\0'));

  ServerTable servers;
  GlobalOptions options;
  ASSERT_TRUE(ReadBack(servers, options));
  EXPECT_EQ(servers.Count(), 1);
  EXPECT_EQ(servers.Get(1).address, u"127.0.0.1/incoming");
  EXPECT_EQ(servers.Get(1).password, u"pw");
  EXPECT_EQ(servers.Get(1).port, 2121);
  EXPECT_EQ(options.currentServer, u"Shop");

  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
}

TEST_F(LockedCopyGeneratorTest, GeneratingTwiceToOnePathReplacesTheFirstCopy) {
  ASSERT_TRUE(WriteWholeFile(T(target), "an older file"));
  ::chmod(target.c_str(), 0600);
  ASSERT_TRUE(Generate(Picture(500)).ok);
  server.name = u"Second";
  ASSERT_TRUE(Generate().ok);

  ServerTable servers;
  GlobalOptions options;
  ASSERT_TRUE(ReadBack(servers, options));
  EXPECT_EQ(servers.Names(), std::vector<Text>{u"Second"});
  EXPECT_EQ(Target().size(), FakeProgramImage().size());
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  // No temporary file stays beside the target.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 3);  // program, copy, picture
}

TEST_F(LockedCopyGeneratorTest, PictureOfExactlyTheLimitIsWrittenAndTheZerosFollow) {
  std::string picture = Picture(kMaxPictureBytes);
  ASSERT_TRUE(Generate(picture).ok);
  EXPECT_EQ(PictureArea(), ReadWholeFile(T(picture)).value());

  std::string small = Picture(100);
  ASSERT_TRUE(Generate(small).ok);
  std::string area = PictureArea();
  EXPECT_EQ(area.substr(0, 100), ReadWholeFile(T(small)).value());
  EXPECT_EQ(area.substr(100), std::string(kMaxPictureBytes - 100, '\0'));
}

TEST_F(LockedCopyGeneratorTest, PictureOverTheLimitIsRefusedWithTheSizesAndNothingIsWritten) {
  GenerateResult result = Generate(Picture(kMaxPictureBytes + 1));
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.message.find(u"15000"), Text::npos);
  EXPECT_NE(result.message.find(u"15001"), Text::npos);
  EXPECT_NE(result.message.find(u"186"), Text::npos);
  EXPECT_NE(result.message.find(u"45"), Text::npos);
  EXPECT_FALSE(PathExists(T(target)));
}

TEST_F(LockedCopyGeneratorTest, OneByteOrMissingPictureIsNeverWritten) {
  GenerateResult oneByte = Generate(Picture(1));
  ASSERT_TRUE(oneByte.ok);
  EXPECT_TRUE(oneByte.message.empty());
  EXPECT_EQ(PictureArea(), std::string(kLockedPictureAreaBytes, '\0'));

  GenerateResult missing = Generate(folder.File("gone.png"));
  ASSERT_TRUE(missing.ok);
  EXPECT_FALSE(missing.message.empty());
  EXPECT_EQ(PictureArea(), std::string(kLockedPictureAreaBytes, '\0'));
}

TEST_F(LockedCopyGeneratorTest, OversizedRecordIsRefusedAndTheExistingFileIsUnchanged) {
  ASSERT_TRUE(WriteWholeFile(T(target), "previous copy"));
  server.password = Text(300, u'x');
  GenerateResult result = Generate();
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.message.find(u"1344"), Text::npos);
  EXPECT_EQ(Target(), "previous copy");
}

TEST_F(LockedCopyGeneratorTest, ProgramWithoutZonesOrUnreadableIsReportedAndWritesNothing) {
  ASSERT_TRUE(WriteWholeFile(T(program), std::string(5000, 'x')));
  GenerateResult noZones = Generate();
  EXPECT_FALSE(noZones.ok);
  EXPECT_FALSE(noZones.message.empty());

  // A settings marker too close to the end: the area would run past the file.
  ASSERT_TRUE(WriteWholeFile(T(program), "abc" + testing::MarkerBytes(LockedSettingsMarker()) + "\0\0\1"));
  EXPECT_FALSE(Generate().ok);

  ASSERT_TRUE(RemoveFile(T(program)));
  EXPECT_FALSE(Generate().ok);
  EXPECT_FALSE(PathExists(T(target)));
}

TEST(FitPictureTest, ShrinksToHeightThenWidthKeepingProportions) {
  EXPECT_EQ(FitPicture(400, 90, 186, 45).size, (PictureSize{186, 41}));
  EXPECT_EQ(FitPicture(300, 40, 186, 45).size, (PictureSize{186, 24}));
  EXPECT_EQ(FitPicture(100, 200, 186, 45).size, (PictureSize{22, 45}));
  FittedSize same = FitPicture(186, 45, 186, 45);
  EXPECT_FALSE(same.changed);
  EXPECT_EQ(same.size, (PictureSize{186, 45}));
  EXPECT_TRUE(FitPicture(400, 90, 186, 45).changed);
  // A very wide strip keeps at least one pixel; huge sizes do not wrap.
  EXPECT_EQ(FitPicture(100000, 2, 186, 45).size, (PictureSize{186, 1}));
  EXPECT_EQ(FitPicture(2000000000, 2000000000, 186, 45).size, (PictureSize{45, 45}));
}

}  // namespace
}  // namespace wexmoor
