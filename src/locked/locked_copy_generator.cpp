#include "locked/locked_copy_generator.h"

#include <sys/stat.h>

#include <optional>
#include <random>
#include <span>
#include <string>

#include "locked/locked_settings_block.h"
#include "locked/locked_zones.h"
#include "platform/files.h"

namespace wexmoor {

namespace {

std::string MarkerBytes(const Text& marker) {
  std::string bytes;
  for (char16_t unit : marker) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;  // 16 bytes: the NUL after the marker is not compared
}

std::span<unsigned char> AreaAt(std::string& image, std::size_t start, std::size_t length) {
  return {reinterpret_cast<unsigned char*>(image.data()) + start, length};
}

Text Failure(const Translator& translator, TextView reason) {
  return translator.Translate(u"Sorry, the locked version could not be generated:") + u" " +
         translator.Translate(reason);
}

std::optional<std::uint32_t> PermissionBits(const Text& path) {
  struct stat st;
  if (::stat(PathToNative(path).c_str(), &st) != 0) return std::nullopt;
  return static_cast<std::uint32_t>(st.st_mode & 07777);
}

}  // namespace

bool PictureSizeAccepted(std::int64_t fileSize) { return fileSize <= kMaxPictureBytes; }

Text PictureTooLargeMessage(std::int64_t fileSize, const Translator& translator) {
  return translator.Translate(u"Sorry, maximum size for the picture is ") + IntToText(kMaxPictureBytes) +
         translator.Translate(u" bytes, and this picture has a size of ") + IntToText(fileSize) +
         translator.Translate(u" bytes.") + u"\n" +
         translator.Translate(u"Please try to save your picture in compressed JPEG or GIF format.") + u"\n\n" +
         translator.Translate(u"Needed size is: width->") + IntToText(kPictureBoxWidth) +
         translator.Translate(u" px  /  height->") + IntToText(kPictureBoxHeight) + translator.Translate(u" px");
}

GenerateResult GenerateLockedCopy(const Text& programFile, const Text& targetPath,
                                  const ServerRecord& server, const Text& pictureFile,
                                  const Translator& translator) {
  if (server.name.empty() || targetPath.empty()) return {};

  // The settings first: a record that cannot fit is refused before anything
  // is touched.
  std::mt19937 random{std::random_device{}()};
  const std::string block = EncodeLockedSettings(server, random);
  if (LockedSettingsBytesNeeded(block.size()) > kLockedSettingsAreaBytes) {
    return {false, SettingsTooLongMessage(LockedSettingsBytesNeeded(block.size()), translator)};
  }

  const std::int64_t pictureSize = pictureFile.empty() ? -1 : FileSize(pictureFile);
  if (!PictureSizeAccepted(pictureSize)) return {false, PictureTooLargeMessage(pictureSize, translator)};

  const auto permissions = PermissionBits(programFile);
  std::optional<std::string> image = ReadWholeFile(programFile);
  if (!image || !permissions) return {false, Failure(translator, u"the program file cannot be read.")};

  const std::size_t settingsMarker = image->find(MarkerBytes(LockedSettingsMarker()));
  const std::size_t settingsStart = settingsMarker + kZoneMarkerBytes;
  if (settingsMarker == std::string::npos || settingsStart + kLockedSettingsAreaBytes > image->size()) {
    return {false, Failure(translator, u"the program file has no room for the settings.")};
  }
  Text message;
  if (!WriteLockedSettings(AreaAt(*image, settingsStart, kLockedSettingsAreaBytes), block, translator,
                           message)) {
    return {false, message};
  }

  const Text unreadablePicture =
      translator.Translate(u"The picture could not be read; the locked version was generated without it.");
  if (!pictureFile.empty() && pictureSize < 0) message = unreadablePicture;
  // A picture of one byte or less is no picture. The picture marker is looked
  // for after the settings area, so nothing inside the block can be taken
  // for it.
  if (pictureSize > 1) {
    const std::size_t pictureMarker =
        image->find(MarkerBytes(LockedPictureMarker()), settingsStart + kLockedSettingsAreaBytes);
    const std::size_t pictureStart = pictureMarker + kZoneMarkerBytes;
    std::optional<std::string> picture = ReadWholeFile(pictureFile);
    if (pictureMarker == std::string::npos || pictureStart + kLockedPictureAreaBytes > image->size()) {
      message = translator.Translate(
          u"The program file has no room for a picture; the locked version was generated without it.");
    } else if (!picture || static_cast<std::int64_t>(picture->size()) != pictureSize ||
               !PictureSizeAccepted(pictureSize)) {
      message = unreadablePicture;
    } else {
      auto area = AreaAt(*image, pictureStart, kLockedPictureAreaBytes);
      std::size_t i = 0;
      for (; i < picture->size(); ++i) area[i] = static_cast<unsigned char>((*picture)[i]);
      for (; i < area.size(); ++i) area[i] = 0;
    }
  }

  std::string error;
  if (!WriteFileAtomically(targetPath, *image, *permissions, &error)) {
    return {false, Failure(translator, u"the file cannot be written.") + u"\n" + NativeToPath(error)};
  }
  // A file that was there before keeps its own mode through the rename; the
  // copy must be as runnable as the program.
  ::chmod(PathToNative(targetPath).c_str(), static_cast<mode_t>(*permissions));
  return {true, message};
}

}  // namespace wexmoor
