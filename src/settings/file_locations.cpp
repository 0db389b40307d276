#include "settings/file_locations.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace wexmoor {
namespace {

Text Join(TextView folder, TextView name) {
  Text path(folder);
  if (path.empty() || path.back() != u'/') path.push_back(u'/');
  return path + Text(name);
}

Text WithoutTrailingSlashes(Text path) {
  while (path.size() > 1 && path.back() == u'/') path.pop_back();
  return path;
}

// An XDG base folder counts only when it is an absolute path.
Text BaseFolder(TextView fromEnvironment, TextView home, TextView fallbackBelowHome) {
  if (!fromEnvironment.empty() && fromEnvironment.front() == u'/') return WithoutTrailingSlashes(Text(fromEnvironment));
  if (!home.empty() && home.front() == u'/') return Join(WithoutTrailingSlashes(Text(home)), fallbackBelowHome);
  return {};
}

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

}  // namespace

FileLocations ChooseFileLocations(const DesktopEnvironment& environment, TextView preferenceFileName) {
  FileLocations l;
  const Text here = environment.currentDirectory.empty() ? Text(u".") : WithoutTrailingSlashes(environment.currentDirectory);
  const Text config = BaseFolder(environment.configHome, environment.home, u".config");
  l.portable = IsRegularFile(Join(here, preferenceFileName)) || config.empty();
  if (l.portable) {
    l.preferenceFolder = here;
    l.workFolder = here;
  } else {
    l.preferenceFolder = Join(config, kApplicationFolderName);
    const Text cache = BaseFolder(environment.cacheHome, environment.home, u".cache");
    l.workFolder = cache.empty() ? l.preferenceFolder : Join(cache, kApplicationFolderName);
  }
  l.preferenceFile = Join(l.preferenceFolder, preferenceFileName);
  const Text state = l.portable ? Text() : BaseFolder(environment.stateHome, environment.home, u".local/state");
  l.historyFile = Join(state.empty() ? l.preferenceFolder : Join(state, kApplicationFolderName), u"Wexmoor.history");
  if (!environment.runtimeDir.empty() && environment.runtimeDir.front() == u'/')
    l.runtimeFolder = Join(WithoutTrailingSlashes(environment.runtimeDir), kApplicationFolderName);
  else
    l.runtimeFolder = u"/tmp/wexmoor-" + IntToText(environment.userId);
  return l;
}

bool MakeUserFolder(const Text& path, unsigned userId, bool privateOnly, std::string* error) {
  const std::string native = PathToNative(path);
  // The levels above are made as the XDG rules ask: 0700 when missing.
  for (std::size_t slash = native.find('/', 1); slash != std::string::npos; slash = native.find('/', slash + 1)) {
    const std::string level = native.substr(0, slash);
    struct stat st;
    if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST && ::stat(level.c_str(), &st) != 0)
      return Fail(error, "cannot create " + level + ": " + std::strerror(errno));
  }
  bool made = ::mkdir(native.c_str(), 0700) == 0;
  if (!made && errno != EEXIST) return Fail(error, "cannot create " + native + ": " + std::strerror(errno));
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0) return Fail(error, "cannot inspect " + native + ": " + std::strerror(errno));
  if (privateOnly) {
    if (!S_ISDIR(st.st_mode)) return Fail(error, native + " is not a folder");
    if (st.st_uid != userId) return Fail(error, native + " belongs to another user");
    if ((st.st_mode & 077) != 0) return Fail(error, native + " is open to other users");
  } else if (::stat(native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return Fail(error, native + " is not a folder");
  }
  // A new folder gets 0700 whatever the umask left.
  if (made) ::chmod(native.c_str(), 0700);
  return true;
}

bool PrepareFolders(const FileLocations& locations, unsigned userId, std::string* error) {
  // The work folder is made when the update check first needs it.
  if (!locations.portable && !MakeUserFolder(locations.preferenceFolder, userId, false, error)) return false;
  return MakeUserFolder(locations.runtimeFolder, userId, true, error);
}

void RemoveEmptyFolders(const FileLocations& locations) {
  // rmdir removes only an empty folder; one another program uses stays.
  if (!locations.portable && locations.workFolder != locations.preferenceFolder)
    ::rmdir(PathToNative(locations.workFolder).c_str());
  ::rmdir(PathToNative(locations.runtimeFolder).c_str());
}

Text InstanceName(const FileLocations& locations) {
  const std::string folder = PathToNative(locations.preferenceFolder);
  char resolved[PATH_MAX];
  std::string real = ::realpath(folder.c_str(), resolved) != nullptr ? std::string(resolved) : folder;
  if (real.empty() || real.back() != '/') real.push_back('/');
  const Text name = FileNamePart(locations.preferenceFile);
  real += PathToNative(name);
  char digest[24];
  std::snprintf(digest, sizeof digest, "-%016llx", static_cast<unsigned long long>(Fnv1a64(real)));
  return name + AsciiToText(digest);
}

}  // namespace wexmoor
