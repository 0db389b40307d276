#include "web/install_list.h"

#include <filesystem>
#include <system_error>

#include "platform/files.h"

namespace wexmoor {

bool InstallItemIsSafe(TextView item, TextView workingDirectory) {
  Text path(item);
  if (path.size() >= 8 && EqualsIgnoreAsciiCase(TextView(path).substr(0, 8), u"execute:")) path.erase(0, 8);
  path = ReplaceAll(path, u"\\", u"/");
  if (path.empty() || path.front() == u'/' || workingDirectory.empty()) return false;
  namespace fs = std::filesystem;
  const fs::path relative(PathToNative(path));
  if (relative.is_absolute() || relative.has_root_name()) return false;
  for (const auto& part : relative)
    if (part == "..") return false;
  if (relative.filename().empty()) return false;  // names a folder, not a file

  std::error_code ec;
  const fs::path base = fs::weakly_canonical(fs::path(PathToNative(workingDirectory)), ec);
  if (ec) return false;
  const fs::path resolved = fs::weakly_canonical(base / relative, ec);
  if (ec) return false;
  auto b = base.begin();
  auto r = resolved.begin();
  for (; b != base.end(); ++b, ++r)
    if (r == resolved.end() || *b != *r) return false;
  return r != resolved.end();
}

std::vector<Text> SafeInstallItems(const std::vector<Text>& items, TextView workingDirectory) {
  std::vector<Text> safe;
  for (const Text& item : items)
    if (InstallItemIsSafe(item, workingDirectory)) safe.push_back(item);
  return safe;
}

}  // namespace wexmoor
