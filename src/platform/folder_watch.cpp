#include "platform/folder_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace wexmoor {

namespace {
constexpr std::uint32_t kFolderMask = IN_CLOSE_WRITE | IN_MODIFY | IN_MOVED_TO | IN_CREATE | IN_ONLYDIR;
// Links to folders could make the walk endless; real trees are not this deep.
constexpr int kMaxDepth = 64;

std::string Join(const std::string& folder, const char* name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  return path + name;
}
}  // namespace

std::optional<NativeStat> StatNative(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  NativeStat out;
  out.regular = S_ISREG(st.st_mode);
  out.folder = S_ISDIR(st.st_mode);
  out.size = static_cast<std::int64_t>(st.st_size);
  out.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  return out;
}

bool ListNative(const std::string& folder, std::vector<std::pair<std::string, bool>>& entries) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      isFolder = ::lstat(Join(folder, name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    entries.emplace_back(name, isFolder);
  }
  ::closedir(dir);
  return true;
}

bool OpenForWriting(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  const bool writers = ::fcntl(fd, F_SETLEASE, F_RDLCK) != 0 && errno == EAGAIN;
  if (!writers) ::fcntl(fd, F_SETLEASE, F_UNLCK);
  ::close(fd);
  return writers;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

FolderWatch::FolderWatch(std::function<bool(const std::string&)> skipFolder)
    : skipFolder_(std::move(skipFolder)) {
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

FolderWatch::~FolderWatch() {
  if (fd_ >= 0) ::close(fd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool FolderWatch::AddTree(const std::string& root) {
  if (fd_ < 0) return false;
  const int wd = ::inotify_add_watch(fd_, root.c_str(), kFolderMask);
  if (wd < 0) {
    if (errno == ENOSPC) limitReached_ = true;
    return false;
  }
  paths_[wd] = root;
  AddFolder(root, 0);
  return true;
}

std::string UnwatchableFileSystem(const std::string& path) {
  struct statfs fs {};
  if (::statfs(path.c_str(), &fs) != 0) return {};
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969ul:  // NFS
      return "nfs";
    case 0xFF534D42ul:  // CIFS
      return "cifs";
    case 0xFE534D42ul:  // SMB2
      return "smb2";
    case 0x517Bul:  // SMB
      return "smb";
    case 0x65735546ul:  // FUSE
      return "fuse";
    default:
      return {};
  }
}

void FolderWatch::AddFolder(const std::string& path, int depth) {
  if (depth >= kMaxDepth) return;
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return;
  while (dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    std::string child = Join(path, name);
    bool folder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      folder = ::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    if (!folder || (skipFolder_ && skipFolder_(child))) continue;
    // IN_ONLYDIR refuses anything that became something else meanwhile.
    const int wd = ::inotify_add_watch(fd_, child.c_str(), kFolderMask);
    if (wd < 0) {
      if (errno == ENOSPC) limitReached_ = true;
      continue;
    }
    paths_[wd] = child;
    AddFolder(child, depth + 1);
  }
  ::closedir(dir);
}

std::vector<FolderEvent> FolderWatch::Wait(int timeoutMs, std::stop_token stop) {
  std::vector<FolderEvent> events;
  if (fd_ < 0 || stop.stop_requested()) return events;
  // A stop request wakes the poll through the event descriptor.
  std::stop_callback wake(stop, [this] {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
  });
  pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  const int ready = ::poll(fds, wakeFd_ >= 0 ? 2 : 1, timeoutMs < 0 ? 0 : timeoutMs);
  if (ready <= 0) return events;
  if (fds[1].revents != 0) {
    std::uint64_t value = 0;
    [[maybe_unused]] ssize_t n = ::read(wakeFd_, &value, sizeof value);
  }
  alignas(inotify_event) char buffer[64 * 1024];
  for (int round = 0; round < 64; ++round) {  // bounded: at most 4 MiB of events per call
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) break;
    Decode(buffer, static_cast<std::size_t>(n), events);
    if (stop.stop_requested()) break;
  }
  return events;
}

void FolderWatch::Decode(const char* buffer, std::size_t length, std::vector<FolderEvent>& out) {
  std::size_t offset = 0;
  while (offset + sizeof(inotify_event) <= length) {
    inotify_event event;
    std::memcpy(&event, buffer + offset, sizeof event);
    const char* name = buffer + offset + sizeof(inotify_event);
    offset += sizeof(inotify_event) + event.len;
    if (event.mask & IN_Q_OVERFLOW) {
      out.push_back({FolderEvent::Kind::kOverflow, {}});
      continue;
    }
    if (event.mask & IN_IGNORED) {  // the folder went away
      paths_.erase(event.wd);
      continue;
    }
    auto folder = paths_.find(event.wd);
    if (folder == paths_.end() || event.len == 0) continue;
    std::string path = Join(folder->second, std::string(name, ::strnlen(name, event.len)).c_str());
    if (event.mask & IN_ISDIR) {
      if (!(event.mask & (IN_CREATE | IN_MOVED_TO))) continue;
      if (skipFolder_ && skipFolder_(path)) continue;
      const int wd = ::inotify_add_watch(fd_, path.c_str(), kFolderMask);
      if (wd < 0 && errno == ENOSPC) limitReached_ = true;
      if (wd >= 0) {
        paths_[wd] = path;  // a folder moved within the tree keeps its descriptor
        AddFolder(path, 1);
      }
      out.push_back({FolderEvent::Kind::kFolderAdded, std::move(path)});
      continue;
    }
    if (event.mask & IN_CLOSE_WRITE) {
      out.push_back({FolderEvent::Kind::kClosed, std::move(path)});
    } else if (event.mask & IN_MOVED_TO) {
      out.push_back({FolderEvent::Kind::kMovedIn, std::move(path)});
    } else if (event.mask & (IN_MODIFY | IN_CREATE)) {
      out.push_back({FolderEvent::Kind::kWritten, std::move(path)});
    }
  }
}

}  // namespace wexmoor
