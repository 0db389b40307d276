#include "archive/zip_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/files.h"
#include "archive/zip_entry_points.h"

namespace wexmoor {

namespace {

constexpr std::size_t kBlockSize = 102400;
// The entry name is fetched into a buffer of this many bytes; longer names
// are cut.
constexpr uLong kNameBufferSize = 100;
constexpr int kDeflate = 8;
constexpr int kBestCompression = 9;

// Entry times must fit the DOS date of the archive: 1980 to 2107.
constexpr int kFirstDosYear = 1980;
constexpr int kLastDosYear = 2107;

tm_zip UtcTimeRecord(std::int64_t epochSeconds) {
  std::time_t t = static_cast<std::time_t>(epochSeconds);
  std::tm parts{};
  tm_zip record{};
  if (!gmtime_r(&t, &parts) || parts.tm_year + 1900 < kFirstDosYear) {
    record.tm_mday = 1;
    record.tm_year = kFirstDosYear;
    return record;
  }
  if (parts.tm_year + 1900 > kLastDosYear) {
    record.tm_sec = 58;
    record.tm_min = 59;
    record.tm_hour = 23;
    record.tm_mday = 31;
    record.tm_mon = 11;
    record.tm_year = kLastDosYear;
    return record;
  }
  record.tm_sec = static_cast<uInt>(parts.tm_sec);
  record.tm_min = static_cast<uInt>(parts.tm_min);
  record.tm_hour = static_cast<uInt>(parts.tm_hour);
  record.tm_mday = static_cast<uInt>(parts.tm_mday);
  record.tm_mon = static_cast<uInt>(parts.tm_mon);
  record.tm_year = static_cast<uInt>(parts.tm_year + 1900);
  return record;
}

bool HasExtension(const Text& path) {
  auto sep = path.find_last_of(u"/\\");
  auto dot = path.find_last_of(u'.');
  if (dot == Text::npos) return false;
  if (sep != Text::npos && dot < sep) return false;
  return dot + 1 < path.size();
}

// The folder with exactly one "/" at its end (nothing for an empty folder,
// which means the current directory).
std::string NativeFolder(const Text& folder) {
  std::string native = PathToNative(folder);
  if (!native.empty() && native.back() != '/') native.push_back('/');
  return native;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The final component of an entry name as it lands on disk: the name cut at
// the name buffer, trimmed of spaces, taken after its last "/" or "\".
// Empty when the entry must not be written.
Text TargetName(const char* rawName, uLong nameLength) {
  std::size_t length = std::min<std::size_t>(nameLength, kNameBufferSize);
  length = ::strnlen(rawName, length);
  Text name = TrimSpaces(AnsiToUtf16(std::string_view(rawName, length)));
  name = ReplaceAll(name, u"/", u"\\");
  auto sep = name.find_last_of(u'\\');
  Text last = sep == Text::npos ? name : name.substr(sep + 1);
  if (last == u"." || last == u"..") return Text();
  return last;
}

// Writes the current entry of `archive` into `folder`. The data goes to a
// private file in the folder first and replaces the target only when it is
// complete and its checksum matches, so a damaged entry never destroys a good
// file and a link standing at the target is replaced, not followed.
void ExtractCurrentEntry(const ZipEntryPoints& zip, unzFile archive, const std::string& folder) {
  unz_file_info info{};
  char name[kNameBufferSize + 1] = {};
  char extra[kNameBufferSize + 1] = {};
  char comment[kNameBufferSize + 1] = {};
  if (zip.unzGetCurrentFileInfo(archive, &info, name, kNameBufferSize, extra, kNameBufferSize, comment,
                                kNameBufferSize) != UNZ_OK)
    return;
  if (zip.unzOpenCurrentFile(archive) != UNZ_OK) return;
  if (info.uncompressed_size == 0) return;
  Text last = TargetName(name, info.size_filename);
  if (last.empty()) return;
  std::string target = folder + PathToNative(last);

  std::string temporary = folder + ".wexmoor-entry-XXXXXX";
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) return;
  std::vector<char> block(kBlockSize);
  uLong crc = ::crc32(0L, Z_NULL, 0);
  bool complete = true;
  for (;;) {
    int count = zip.unzReadCurrentFile(archive, block.data(), static_cast<unsigned>(block.size()));
    if (count == 0) break;
    if (count < 0 || !WriteAll(fd, block.data(), static_cast<std::size_t>(count))) {
      complete = false;
      break;
    }
    crc = ::crc32(crc, reinterpret_cast<const Bytef*>(block.data()), static_cast<uInt>(count));
  }
  if (complete && crc != info.crc) complete = false;

  struct stat existing;
  mode_t mode = 0644;
  if (::lstat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) mode = existing.st_mode & 07777;
  if (complete) complete = ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  if (complete) {
    std::tm local{};
    local.tm_year = static_cast<int>(info.tmu_date.tm_year) - 1900;
    local.tm_mon = static_cast<int>(info.tmu_date.tm_mon);
    local.tm_mday = static_cast<int>(info.tmu_date.tm_mday);
    local.tm_hour = static_cast<int>(info.tmu_date.tm_hour);
    local.tm_min = static_cast<int>(info.tmu_date.tm_min);
    local.tm_sec = 0;
    local.tm_isdst = -1;
    std::time_t when = std::mktime(&local);
    if (when != static_cast<std::time_t>(-1)) {
      struct timespec times[2];
      times[0].tv_sec = when;
      times[0].tv_nsec = 0;
      times[1] = times[0];
      ::futimens(fd, times);
    }
  }
  if (::close(fd) != 0) complete = false;
  if (!complete || ::rename(temporary.c_str(), target.c_str()) != 0) ::unlink(temporary.c_str());
}

int EntryCount(const ZipEntryPoints& zip, const Text& path) {
  unzFile archive = zip.unzOpen(PathToNative(path).c_str());
  if (!archive) return 0;
  unz_global_info info{};
  int count = 0;
  if (zip.unzGetGlobalInfo(archive, &info) == UNZ_OK)
    count = static_cast<int>(std::min<uLong>(info.number_entry, INT_MAX));
  zip.unzClose(archive);
  return count;
}

}  // namespace

ArchiveHandle CreateArchive(ZipLibrary& library, const Text& path, int mode, Text* openedPath) {
  ZipEntryPoints zip;
  if (!library.EntryPoints(zip) || path.empty()) return nullptr;
  Text target = path;
  if (!HasExtension(target)) target += u".zip";
  // The count is taken on the file that is opened, so an archive with
  // entries is never overwritten.
  if (EntryCount(zip, target) >= 1) mode = kArchiveAddTo;
  if (mode != kArchiveAddTo) mode = kArchiveCreate;
  zipFile handle = zip.zipOpen(PathToNative(target).c_str(), mode);
  if (handle && openedPath) *openedPath = target;
  return handle;
}

int AddFileToArchive(ZipLibrary& library, ArchiveHandle handle, const Text& file, const Text& storedName) {
  ZipEntryPoints zip;
  if (!handle || !library.EntryPoints(zip)) return 0;
  std::string native = PathToNative(file);
  // Opened without waiting, so a pipe or device in a dropped folder cannot
  // hold the packing up; anything but a regular file reads as unreadable.
  int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st{};
  bool readable = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);

  zip_fileinfo info{};
  info.tmz_date = UtcTimeRecord(readable ? static_cast<std::int64_t>(st.st_mtime)
                                         : FileModificationTime(file).value_or(0));
  info.dosDate = 0;
  info.internal_fa = 0;
  info.external_fa = 0;
  std::string stored = Utf16ToAnsi(storedName);
  if (zip.zipOpenNewFileInZip(handle, stored.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, kDeflate,
                              kBestCompression) != ZIP_OK) {
    if (fd >= 0) ::close(fd);
    return 0;
  }
  if (!readable) {
    // The entry stays, empty; the next entry or the archive's close ends it.
    if (fd >= 0) ::close(fd);
    return 0;
  }
  std::vector<char> block(kBlockSize);
  int result = 1;
  for (;;) {
    ssize_t n = ::read(fd, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = 0;
      break;
    }
    if (n == 0) break;
    if (zip.zipWriteInFileInZip(handle, block.data(), static_cast<unsigned>(n)) != ZIP_OK) {
      result = 0;
      break;
    }
  }
  ::close(fd);
  if (zip.zipCloseFileInZip(handle) != ZIP_OK) result = 0;
  return result;
}

int CloseArchive(ZipLibrary& library, ArchiveHandle handle) {
  ZipEntryPoints zip;
  if (!handle || !library.EntryPoints(zip)) return 0;
  return zip.zipClose(handle, nullptr) == ZIP_OK ? 1 : 0;
}

int ArchiveEntryCount(const Text& path) { return EntryCount(LinkedZipEntryPoints(), path); }

int ArchiveEntryCount(ZipLibrary& library, const Text& path) {
  ZipEntryPoints zip;
  if (!library.EntryPoints(zip)) return 0;
  return EntryCount(zip, path);
}

int ExtractEntry(ZipLibrary& library, const Text& path, int index, const Text& folder) {
  ZipEntryPoints zip;
  if (!library.EntryPoints(zip)) return 0;
  unzFile archive = zip.unzOpen(PathToNative(path).c_str());
  if (!archive) return 0;
  bool reached = index >= 0 && zip.unzGoToFirstFile(archive) == UNZ_OK;
  for (int i = 0; reached && i < index; ++i) reached = zip.unzGoToNextFile(archive) == UNZ_OK;
  if (reached) ExtractCurrentEntry(zip, archive, NativeFolder(folder));
  zip.unzClose(archive);
  return 1;
}

int ExtractArchive(ZipLibrary& library, const Text& archivePath, const Text& folder) {
  ZipLibraryUse use(library);
  if (!use.ok() || archivePath.empty()) return 0;
  ZipEntryPoints zip;
  if (!library.EntryPoints(zip)) return 0;
  std::string nativeFolder = NativeFolder(folder);
  int count = EntryCount(zip, archivePath);
  if (count == 0) return 1;
  // One walk through the entries, in entry order.
  unzFile archive = zip.unzOpen(PathToNative(archivePath).c_str());
  if (!archive) return 1;
  bool reached = zip.unzGoToFirstFile(archive) == UNZ_OK;
  for (int i = 0; reached && i < count; ++i) {
    ExtractCurrentEntry(zip, archive, nativeFolder);
    reached = zip.unzGoToNextFile(archive) == UNZ_OK;
  }
  zip.unzClose(archive);
  return 1;
}

}  // namespace wexmoor
