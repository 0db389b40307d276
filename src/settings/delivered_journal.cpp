#include "settings/delivered_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/code_page.h"
#include "platform/files.h"

namespace wexmoor {
namespace {

std::vector<std::string> SplitLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < bytes.size()) {
    const std::size_t end = bytes.find('\n', from);
    if (end == std::string::npos) break;  // a torn last line counts for nothing
    lines.push_back(bytes.substr(from, end - from));
    from = end + 1;
  }
  return lines;
}

}  // namespace

Text DeliveredJournalPath(const Text& preferenceFile) { return preferenceFile + u".delivered"; }

DeliveredJournal::DeliveredJournal(Text path) : path_(std::move(path)) {}

bool DeliveredJournal::Add(const Text& entry, const PartRecord& file) {
  if (entry.find_first_of(u"\r\n") != Text::npos) return false;
  const std::string line = Utf16ToUtf8(PartRecordText(file) + u"|" + entry) + "\n";
  std::lock_guard lock(mutex_);
  const int fd = ::open(PathToNative(path_).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  const bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) && ::fdatasync(fd) == 0;
  ::close(fd);
  return ok;
}

std::size_t DeliveredJournal::Count() const {
  std::lock_guard lock(mutex_);
  return SplitLines(ReadWholeFile(path_).value_or("")).size();
}

void DeliveredJournal::DropFirst(std::size_t lines) {
  if (lines == 0) return;
  std::lock_guard lock(mutex_);
  const std::vector<std::string> all = SplitLines(ReadWholeFile(path_).value_or(""));
  if (lines >= all.size()) {
    RemoveFile(path_);
    return;
  }
  std::string rest;
  for (std::size_t i = lines; i < all.size(); ++i) rest += all[i] + "\n";
  WriteFileAtomically(path_, rest);
}

std::vector<std::pair<Text, PartRecord>> DeliveredJournal::Read() const {
  std::vector<std::pair<Text, PartRecord>> out;
  std::vector<std::string> lines;
  {
    std::lock_guard lock(mutex_);
    lines = SplitLines(ReadWholeFile(path_).value_or(""));
  }
  for (const std::string& line : lines) {
    const Text text = Utf8ToUtf16(line);
    const std::size_t first = text.find(u'|');
    const std::size_t second = first == Text::npos ? Text::npos : text.find(u'|', first + 1);
    if (second == Text::npos) continue;
    const std::optional<PartRecord> file = ParsePartRecord(TextView(text).substr(0, second));
    if (!file || second + 1 >= text.size()) continue;
    out.emplace_back(text.substr(second + 1), *file);
  }
  return out;
}

int DeliveredJournal::DropDelivered(UploadQueue& queue, UiMessageRing& removeRing) {
  int dropped = 0;
  for (const auto& [entry, file] : Read()) {
    const Text local = EntryLocalPath(entry);
    const std::optional<std::int64_t> mtime = FileModificationTime(local);
    if (!mtime || *mtime != file.localMtime || FileSize(local) != file.localSize) continue;
    for (const QueueEntry& queued : queue.Entries()) {
      if (queued.text != entry) continue;
      if (auto text = queue.RemoveById(queued.id)) {
        removeRing.Put(*text, 0);
        ++dropped;
      }
      break;
    }
  }
  return dropped;
}

}  // namespace wexmoor
