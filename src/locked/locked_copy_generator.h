// Producing a locked copy: the program's file with one server's settings and
// an optional picture written into its reserved zones.
#pragma once

#include <cstdint>

#include "platform/text.h"
#include "model/server_table.h"
#include "i18n/language_translator.h"

namespace wexmoor {

// The largest picture a locked copy carries, in bytes (the picture area).
inline constexpr std::int64_t kMaxPictureBytes = 15000;
// The box a locked copy shows its picture in.
inline constexpr int kPictureBoxWidth = 186;
inline constexpr int kPictureBoxHeight = 45;

bool PictureSizeAccepted(std::int64_t fileSize);
// "Sorry, maximum size for the picture is 15000 bytes, ..." with `fileSize`.
Text PictureTooLargeMessage(std::int64_t fileSize, const Translator& translator);

struct GenerateResult {
  bool ok = false;
  Text message;  // for the user; empty when there is nothing to say
};

// Copies `programFile` to `targetPath` with `server`'s settings in the
// settings zone and, when `pictureFile` names a file of more than one byte,
// that file's bytes in the picture zone. Everything is checked and prepared
// before anything is written; the copy is written beside the target under a
// temporary name and renamed over it only when complete, so a failure leaves
// the target as it was (a previous copy there is replaced only by a complete
// new one). The copy keeps the program file's permission bits.
// Refused with a message: settings that do not fit the settings area, a
// picture of more than 15000 bytes, a program file without the zones, a copy
// that cannot be written. A picture that cannot be read whole gives a copy
// without picture and a message saying so.
GenerateResult GenerateLockedCopy(const Text& programFile, const Text& targetPath,
                                  const ServerRecord& server, const Text& pictureFile,
                                  const Translator& translator);

}  // namespace wexmoor
