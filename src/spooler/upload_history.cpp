#include "spooler/upload_history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "ftp/file_upload.h"
#include "model/upload_queue.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "spooler/web_link.h"

namespace wexmoor {
namespace {

// A field of its own: no tab, no line break; "-" when empty.
std::string Field(TextView text) {
  std::string out = Utf16ToUtf8(text);
  for (char& c : out)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return out.empty() ? "-" : out;
}

std::string ResultField(const UploadRecord& record) {
  switch (record.result) {
    case UploadResult::kSent:
      return "sent";
    case UploadResult::kFailed:
      return "failed: " + Field(record.reason.empty() ? Text(u"unknown") : record.reason);
    case UploadResult::kDropped:
      return "dropped: " + Field(record.reason.empty() ? Text(u"unknown") : record.reason);
  }
  return "-";
}

std::vector<std::string> WholeLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < bytes.size()) {
    const std::size_t end = bytes.find('\n', from);
    if (end == std::string::npos) break;  // torn: left out
    if (end > from) lines.push_back(bytes.substr(from, end - from));
    from = end + 1;
  }
  return lines;
}

Text OldPath(const Text& path) { return path + u".1"; }

}  // namespace

std::string LocalIsoTime(std::int64_t epochSeconds) {
  const std::time_t t = static_cast<std::time_t>(epochSeconds);
  std::tm local{};
  if (::localtime_r(&t, &local) == nullptr) return "-";
  char text[40];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0) return "-";
  const long offset = local.tm_gmtoff;
  const int magnitude = static_cast<int>((offset < 0 ? -offset : offset) % 86400);
  char zone[16];
  std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', magnitude / 3600, (magnitude / 60) % 60);
  return std::string(text) + zone;
}

UploadRecord EntryRecord(const Text& entryText, const ServerRecord& server, UploadResult result) {
  UploadRecord record;
  record.result = result;
  record.server = EntryServerName(entryText);
  record.localPath = EntryLocalPath(entryText);
  const std::int64_t size = FileSize(record.localPath);
  record.size = size >= 0 && IsRegularFile(record.localPath) ? size : -1;
  // Split as the sessions split the destination: "\\" counts as "/".
  const Text subfolder = EntrySubfolder(entryText);
  const Text below = SplitServerAddress(u"h/" + subfolder).folderPath + RemoteFileName(record.localPath);
  Text address = server.address;
  if (!address.empty() && address.back() == u'/') address.pop_back();
  record.remotePath =
      SplitServerAddress(subfolder.empty() ? address : address + u"/" + subfolder).folderPath +
      RemoteFileName(record.localPath);
  record.link = WebLink(server.webAddress, below);
  return record;
}

std::string HistoryLine(const UploadRecord& record) {
  char seconds[32] = "-";
  if (record.milliseconds >= 0)
    std::snprintf(seconds, sizeof seconds, "%lld.%01lld", static_cast<long long>(record.milliseconds / 1000),
                  static_cast<long long>(record.milliseconds % 1000 / 100));
  std::string line = LocalIsoTime(record.wallSeconds);
  for (const std::string& field :
       {ResultField(record), Field(record.server), Field(record.localPath), Field(record.remotePath),
        record.size >= 0 ? std::to_string(record.size) : std::string("-"), std::string(seconds),
        Field(record.verification), Field(record.link)})
    line.append("\t").append(field);
  return line;
}

std::optional<HistoryRow> ParseHistoryLine(std::string_view line) {
  std::vector<Text> fields;
  std::size_t from = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', from);
    fields.push_back(Utf8ToUtf16(line.substr(from, tab == std::string_view::npos ? std::string_view::npos : tab - from)));
    if (tab == std::string_view::npos) break;
    from = tab + 1;
  }
  if (fields.size() != 9) return std::nullopt;
  return HistoryRow{fields[0], fields[1], fields[2], fields[3], fields[4],
                    fields[5], fields[6], fields[7], fields[8]};
}

std::vector<std::string> LastHistoryLines(const Text& path, std::size_t count) {
  std::vector<std::string> lines = WholeLines(ReadWholeFile(path).value_or(""));
  if (lines.size() < count) {
    std::vector<std::string> old = WholeLines(ReadWholeFile(OldPath(path)).value_or(""));
    old.insert(old.end(), lines.begin(), lines.end());
    lines = std::move(old);
  }
  if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
  return lines;
}

UploadHistory::UploadHistory(Text path, std::int64_t rotateBytes) : path_(std::move(path)), rotateBytes_(rotateBytes) {}

UploadHistory::~UploadHistory() { CloseFile(); }

void UploadHistory::SetPath(Text path) {
  std::lock_guard lock(mutex_);
  CloseFile();
  path_ = std::move(path);
  healthy_ = true;
}

Text UploadHistory::Path() const {
  std::lock_guard lock(mutex_);
  return path_;
}

bool UploadHistory::Healthy() const {
  std::lock_guard lock(mutex_);
  return healthy_;
}

void UploadHistory::CloseFile() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void UploadHistory::Record(const UploadRecord& record) {
  const std::string line = HistoryLine(record) + "\n";
  std::lock_guard lock(mutex_);
  if (path_.empty()) return;
  healthy_ = Append(line) && healthy_;
}

bool UploadHistory::Open() {
  const std::string native = PathToNative(path_);
  // Missing folders are made private, as the state folders should be.
  for (std::size_t slash = native.find('/', 1); slash != std::string::npos; slash = native.find('/', slash + 1))
    ::mkdir(native.substr(0, slash).c_str(), 0700);
  // Read and write: the last byte is read back below.
  fd_ = ::open(native.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) return false;
  // A file left by a crash may end inside a line.
  struct stat st{};
  char last = '\n';
  tornEnd_ = ::fstat(fd_, &st) == 0 && st.st_size > 0 && ::pread(fd_, &last, 1, st.st_size - 1) == 1 && last != '\n';
  return true;
}

bool UploadHistory::Append(const std::string& line) {
  if (fd_ < 0 && !Open()) return false;
  struct stat st{};
  if (::fstat(fd_, &st) == 0 && st.st_size > 0 && st.st_size + static_cast<std::int64_t>(line.size()) > rotateBytes_) {
    // The one old file is replaced; a new file begins with this line.
    CloseFile();
    RenamePath(path_, OldPath(path_));
    if (!Open()) return false;
  }
  const std::string bytes = tornEnd_ ? "\n" + line : line;
  const bool ok = ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fdatasync(fd_) == 0;
  if (!ok) {
    tornEnd_ = true;
    CloseFile();  // opened afresh next time
    return false;
  }
  tornEnd_ = false;
  return true;
}

}  // namespace wexmoor
