#include "program/instance_address.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace wexmoor {
namespace {

std::string CanonicalFolder(const Text& folder) {
  const std::string native = folder.empty() ? std::string(".") : PathToNative(folder);
  char resolved[PATH_MAX];
  if (::realpath(native.c_str(), resolved) != nullptr) return resolved;
  return native;
}

std::string NativeName(TextView prefFileName) { return PathToNative(prefFileName); }

}  // namespace

std::string InstanceLockPath(const Text& folder, TextView prefFileName) {
  std::string path = folder.empty() ? std::string(".") : PathToNative(folder);
  if (path.back() != '/') path += '/';
  return path + NativeName(prefFileName) + ".lock";
}

InstanceAddress InstanceAddressFor(const Text& folder, TextView prefFileName) {
  InstanceAddress a;
  a.address.sun_family = AF_UNIX;
  const std::string canonical = CanonicalFolder(folder);
  std::string file = canonical;
  if (file.empty() || file.back() != '/') file += '/';
  file += '.';
  file += NativeName(prefFileName);
  file += ".sock";
  if (file.size() < sizeof(a.address.sun_path)) {
    std::memcpy(a.address.sun_path, file.data(), file.size());
    a.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + file.size() + 1);
    a.file = file;
    a.display = file;
    return a;
  }
  std::string key = canonical;
  key += '\0';
  key += NativeName(prefFileName);
  char name[32];
  const int length = std::snprintf(name, sizeof name, "wexmoor-%016llx",
                                   static_cast<unsigned long long>(Fnv1a64(key)));
  const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
  a.address.sun_path[0] = '\0';
  std::memcpy(a.address.sun_path + 1, name, size);
  a.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + size);
  a.display = std::string("@").append(name, size);
  return a;
}

}  // namespace wexmoor
