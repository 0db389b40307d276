// Downloading and unpacking an accepted update into "UpdateProg".
#pragma once

#include <stop_token>

#include "platform/text.h"
#include "web/update_check.h"
#include "web/version_records.h"

namespace wexmoor {

inline constexpr char16_t kUpdateFolderName[] = u"UpdateProg";
inline constexpr char16_t kInstallListFileName[] = u"Paths.txt";

// Renames each file of `folder` whose name, read as code page 437, has another
// Windows-1252 form (0x82 → "é"). Names that are not Windows-1252 text are
// left alone.
void ConvertArchiveNames(const Text& folder);

// Announces the download, fetches the archive, unpacks it into "UpdateProg"
// and writes the install list. True when the update waits for installation.
// An archive without entries counts as corrupted: the folder and "Temp.zip"
// go and the user is told to try again.
bool DownloadUpdate(UpdateCheckContext& context, const VersionRecord& record, std::stop_token stop);

}  // namespace wexmoor
