// Handing over to the updater when an unpacked update waits in "UpdateProg".
#pragma once

#include <cstddef>
#include <span>

#include "platform/text.h"

namespace wexmoor {

inline constexpr char16_t kUpdaterFileName[] = u"UpdateProg.exe";

// The updater's command-line form of the program path: every space as "espace".
Text EncodeProgramPath(TextView path);

// When updates are enabled and `workingDirectory`/UpdateProg is a folder:
// writes `updaterImage` as workingDirectory/UpdateProg.exe (executable),
// starts it in `workingDirectory` with the encoded `ownPath` as its only
// argument and returns true: the program must end now, without saving.
// With an `installFolder` other than the working directory, the updater
// starts there instead and gets the encoded working directory as a second
// argument: it takes the update from there and installs into its own
// current folder. Returns false when there is nothing to do or the updater
// could not be written or started.
bool ApplyPendingUpdate(bool disableUpdates, const Text& workingDirectory, const Text& ownPath,
                        std::span<const unsigned char> updaterImage, const Text& installFolder = {});

}  // namespace wexmoor
