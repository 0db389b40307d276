#include "web/pending_update.h"

#include <string_view>

#include "platform/files.h"
#include "platform/process.h"

namespace wexmoor {

Text EncodeProgramPath(TextView path) { return ReplaceAll(path, u" ", u"espace"); }

bool ApplyPendingUpdate(bool disableUpdates, const Text& workingDirectory, const Text& ownPath,
                        std::span<const unsigned char> updaterImage, const Text& installFolder) {
  if (disableUpdates || workingDirectory.empty()) return false;
  Text dir = workingDirectory;
  if (dir.back() != u'/') dir.push_back(u'/');
  if (!IsFolder(dir + u"UpdateProg")) return false;
  const Text updater = dir + kUpdaterFileName;
  RemoveFile(updater);
  const std::string_view bytes(reinterpret_cast<const char*>(updaterImage.data()), updaterImage.size());
  if (!WriteFileAtomically(updater, bytes, 0755) || FileSize(updater) < 1) return false;
  if (installFolder.empty() || installFolder == workingDirectory)
    return StartProgram(updater, {EncodeProgramPath(ownPath)}, workingDirectory);
  return StartProgram(updater, {EncodeProgramPath(ownPath), EncodeProgramPath(workingDirectory)}, installFolder);
}

}  // namespace wexmoor
