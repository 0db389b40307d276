#include "locked/locked_zones.h"

#include <gtest/gtest.h>

#include <string>

#include "locked_test_support.h"
#include "peers/test_paths.h"
#include "platform/files.h"

namespace wexmoor {
namespace {

using testing::CountOccurrences;
using testing::MarkerBytes;

// The built program must carry each zone exactly once, stored in the file
// with its area all zero, or the generator would patch the wrong place.
TEST(LockedZonesFileTest, BuiltProgramHoldsEachMarkerOnceFollowedByZeros) {
  const std::string path = testing::BinaryDir() + "/bin/wexmoor";
  if (!PathExists(NativeToPath(path))) GTEST_SKIP() << path << " is not built";
  const std::string image = ReadWholeFile(NativeToPath(path)).value_or("");
  ASSERT_FALSE(image.empty());

  const std::string settings = MarkerBytes(LockedSettingsMarker());
  const std::string picture = MarkerBytes(LockedPictureMarker());
  ASSERT_EQ(CountOccurrences(image, settings), 1u);
  ASSERT_EQ(CountOccurrences(image, picture), 1u);

  const std::size_t settingsAt = image.find(settings);
  const std::size_t pictureAt = image.find(picture);
  // The settings area ends where the picture marker begins.
  ASSERT_EQ(pictureAt, settingsAt + kZoneMarkerBytes + kLockedSettingsAreaBytes);
  ASSERT_LE(pictureAt + kZoneMarkerBytes + kLockedPictureAreaBytes, image.size());
  EXPECT_EQ(image.substr(settingsAt + 16, 2 + kLockedSettingsAreaBytes),
            std::string(2 + kLockedSettingsAreaBytes, '\0'));
  EXPECT_EQ(image.substr(pictureAt + 16, 2 + kLockedPictureAreaBytes),
            std::string(2 + kLockedPictureAreaBytes, '\0'));
}

// The running image: the areas are where the markers say and start empty.
TEST(LockedZonesFileTest, OwnZonesAreAdjacentAndUnlocked) {
  auto settings = LockedSettingsArea();
  auto picture = LockedPictureArea();
  ASSERT_EQ(settings.size(), kLockedSettingsAreaBytes);
  ASSERT_EQ(picture.size(), kLockedPictureAreaBytes);
  EXPECT_EQ(settings.data() + settings.size() + kZoneMarkerBytes, picture.data());
  EXPECT_EQ(settings[0], 0);
}

}  // namespace
}  // namespace wexmoor
