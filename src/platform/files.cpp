#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/code_page.h"

namespace wexmoor {

std::string PathToNative(TextView path) { return Utf16ToUtf8(path); }
Text NativeToPath(std::string_view native) { return Utf8ToUtf16(native); }

namespace {
bool StatPath(TextView path, struct stat& st) {
  return ::stat(PathToNative(path).c_str(), &st) == 0;
}

bool WriteAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& native) {
  auto slash = native.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return native.substr(0, slash);
}
}  // namespace

bool PathExists(TextView path) {
  struct stat st;
  return StatPath(path, st);
}

bool IsFolder(TextView path) {
  struct stat st;
  return StatPath(path, st) && S_ISDIR(st.st_mode);
}

bool IsRegularFile(TextView path) {
  struct stat st;
  return StatPath(path, st) && S_ISREG(st.st_mode);
}

std::int64_t FileSize(TextView path) {
  struct stat st;
  if (!StatPath(path, st) || S_ISDIR(st.st_mode)) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

std::optional<std::int64_t> FileModificationTime(TextView path) {
  struct stat st;
  if (!StatPath(path, st)) return std::nullopt;
  return static_cast<std::int64_t>(st.st_mtime);
}

bool SetFileModificationTime(TextView path, std::int64_t epochSeconds) {
  struct timeval times[2];
  times[0].tv_sec = static_cast<time_t>(epochSeconds);
  times[0].tv_usec = 0;
  times[1] = times[0];
  return ::utimes(PathToNative(path).c_str(), times) == 0;
}

std::optional<std::string> ReadWholeFile(TextView path) {
  int fd = ::open(PathToNative(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string out;
  char buf[65536];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return out;
}

bool WriteWholeFile(TextView path, std::string_view bytes) {
  int fd = ::open(PathToNative(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes);
  ok = (::close(fd) == 0) && ok;
  return ok;
}

namespace {

// `keepExistingMode`: an existing file's mode wins over `mode`.
bool ReplaceFile(TextView path, std::string_view bytes, mode_t mode, bool keepExistingMode,
                 std::string* error) {
  const std::string target = PathToNative(path);
  auto fail = [&](const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
  };
  struct stat st;
  if (keepExistingMode && ::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;

  // One fixed temporary name per target: a save killed half-way leaves at most
  // this one file behind, and the next save reuses it.
  const std::string temp = target + ".new";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return fail("cannot create " + temp);
  // The mode before any byte: a stale temporary file keeps the mode it had.
  if (::fchmod(fd, mode) != 0) {
    auto saved = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    errno = saved;
    return fail("cannot set the mode of " + temp);
  }
  if (!WriteAll(fd, bytes)) {
    auto saved = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    errno = saved;
    return fail("cannot write " + temp);
  }
  if (::fsync(fd) != 0) {
    auto saved = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    errno = saved;
    return fail("cannot flush " + temp);
  }
  if (::close(fd) != 0) {
    auto saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    return fail("cannot close " + temp);
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    auto saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    return fail("cannot rename " + temp + " to " + target);
  }
  // Make the rename itself durable.
  int dirFd = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(TextView path, std::string_view bytes, unsigned newFileMode,
                         std::string* error) {
  return ReplaceFile(path, bytes, static_cast<mode_t>(newFileMode), true, error);
}

bool WritePrivateFileAtomically(TextView path, std::string_view bytes, std::string* error) {
  return ReplaceFile(path, bytes, 0600, false, error);
}

bool RemoveFile(TextView path) { return ::unlink(PathToNative(path).c_str()) == 0; }

bool MakeFolder(TextView path) { return ::mkdir(PathToNative(path).c_str(), 0755) == 0; }

bool MakeFolders(TextView path) {
  std::string native = PathToNative(path);
  if (native.empty()) return false;
  for (std::size_t i = 1; i <= native.size(); ++i) {
    if (i == native.size() || native[i] == '/') {
      std::string part = native.substr(0, i);
      struct stat st;
      if (::stat(part.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) return false;
        continue;
      }
      if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

bool RemoveFolderAndFiles(TextView path) {
  auto entries = ListFolder(path);
  Text base(path);
  if (!base.empty() && base.back() != u'/') base.push_back(u'/');
  if (entries) {
    for (const auto& e : *entries)
      if (!e.isFolder) RemoveFile(base + e.name);
  }
  return ::rmdir(PathToNative(path).c_str()) == 0;
}

bool RenamePath(TextView from, TextView to) {
  return ::rename(PathToNative(from).c_str(), PathToNative(to).c_str()) == 0;
}

bool CopyFileReplacing(TextView from, TextView to) {
  auto bytes = ReadWholeFile(from);
  if (!bytes) return false;
  struct stat st;
  if (!StatPath(from, st)) return false;
  if (!WriteFileAtomically(to, *bytes, st.st_mode & 07777)) return false;
  return ::chmod(PathToNative(to).c_str(), st.st_mode & 07777) == 0;
}

std::optional<std::vector<FolderEntry>> ListFolder(TextView path) {
  std::string native = PathToNative(path);
  DIR* dir = ::opendir(native.empty() ? "." : native.c_str());
  if (!dir) return std::nullopt;
  std::vector<FolderEntry> out;
  if (!native.empty() && native.back() != '/') native.push_back('/');
  while (dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    bool folder = false;
    if (e->d_type == DT_DIR) {
      folder = true;
    } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      struct stat st;
      folder = ::stat((native + e->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    out.push_back(FolderEntry{NativeToPath(e->d_name), folder});
  }
  ::closedir(dir);
  return out;
}

Text CurrentDirectory() {
  std::string buf(4096, '\0');
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE || buf.size() > (1u << 20)) return Text();
    buf.resize(buf.size() * 2);
  }
  return NativeToPath(buf.c_str());
}

Text OwnExecutablePath() {
  std::string buf(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return Text();
  buf.resize(static_cast<std::size_t>(n));
  return NativeToPath(buf);
}

Text FileNamePart(TextView path) {
  auto pos = path.find_last_of(u"/\\");
  return Text(pos == TextView::npos ? path : path.substr(pos + 1));
}

}  // namespace wexmoor
