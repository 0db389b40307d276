#include "settings/delivered_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <unordered_map>

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

DeliveredJournal::DeliveredJournal(Text path) : path_(std::move(path)) {
  const std::string bytes = ReadWholeFile(path_).value_or("");
  lines_ = SplitLines(bytes).size();
  lineIds_.assign(lines_, 0);
  tornEnd_ = !bytes.empty() && bytes.back() != '\n';
}

DeliveredJournal::~DeliveredJournal() { CloseFile(); }

void DeliveredJournal::CloseFile() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool DeliveredJournal::Append(const std::string& line) {
  if (fd_ < 0) fd_ = ::open(PathToNative(path_).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) return false;
  // A line cut short (by a crash, or a write that failed) ends here, as a
  // line of its own that reads as nothing.
  const std::string bytes = tornEnd_ ? "\n" + line : line;
  const bool ok = ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fdatasync(fd_) == 0;
  if (!ok) {
    tornEnd_ = true;
    CloseFile();  // opened afresh next time
    return false;
  }
  if (tornEnd_) {
    ++lines_;
    lineIds_.push_back(0);
    tornEnd_ = false;
  }
  ++lines_;
  return true;
}

bool DeliveredJournal::Add(const Text& entry, const PartRecord& file, std::uint64_t id) {
  if (entry.find_first_of(u"\r\n") != Text::npos) return false;
  const std::string line = Utf16ToUtf8(PartRecordText(file) + u"|" + entry) + "\n";
  std::lock_guard lock(mutex_);
  if (!Append(line)) return false;
  lineIds_.push_back(id);
  if (id != 0) journaled_.insert(id);
  return true;
}

bool DeliveredJournal::AddPart(const Text& entry, const PartRecord& part) {
  if (entry.find_first_of(u"\r\n") != Text::npos) return false;
  // A part no longer begun is "D|0|0|entry"; one with its owner is
  // "Q|size|mtime|owner|entry" (older readers pass such lines over).
  const Text record = !part.Begun()         ? Text(u"D|0|0")
                      : part.token.empty() ? u"P|" + PartRecordText(part)
                                           : u"Q|" + PartRecordText(part) + u"|" + PartOwnerText(part);
  const std::string line = Utf16ToUtf8(record + u"|" + entry) + "\n";
  std::lock_guard lock(mutex_);
  if (!Append(line)) return false;
  lineIds_.push_back(0);
  return true;
}

bool DeliveredJournal::Journaled(std::uint64_t id) const {
  std::lock_guard lock(mutex_);
  return journaled_.contains(id);
}

std::size_t DeliveredJournal::Count() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

void DeliveredJournal::DropFirst(std::size_t lines, const std::function<bool(std::uint64_t)>& stillSaved) {
  if (lines == 0) return;
  std::lock_guard lock(mutex_);
  lines = std::min(lines, lineIds_.size());
  const std::vector<std::string> all = SplitLines(ReadWholeFile(path_).value_or(""));
  std::vector<std::uint64_t> keptIds;
  std::string rest;
  for (std::size_t i = 0; i < lineIds_.size(); ++i) {
    const std::uint64_t id = lineIds_[i];
    const bool keep = i >= lines || (id != 0 && stillSaved && stillSaved(id));
    if (!keep) {
      journaled_.erase(id);
      continue;
    }
    keptIds.push_back(id);
    if (i < all.size()) rest.append(all[i]).append("\n");
  }
  lineIds_ = std::move(keptIds);
  lines_ = lineIds_.size();
  tornEnd_ = false;  // the rest is written anew, whole lines only
  CloseFile();
  if (lines_ == 0) {
    RemoveFile(path_);
    return;
  }
  WriteFileAtomically(path_, rest, 0600);
}

std::vector<DeliveredJournal::Line> DeliveredJournal::ReadLines() const {
  std::vector<Line> out;
  std::vector<std::string> lines;
  {
    std::lock_guard lock(mutex_);
    lines = SplitLines(ReadWholeFile(path_).value_or(""));
  }
  for (const std::string& line : lines) {
    Text text = Utf8ToUtf16(line);
    const bool dropped = text.starts_with(u"D|");
    const bool owned = text.starts_with(u"Q|");
    const bool part = dropped || owned || text.starts_with(u"P|");
    if (part) text.erase(0, 2);
    const std::size_t first = text.find(u'|');
    std::size_t end = first == Text::npos ? Text::npos : text.find(u'|', first + 1);
    if (end == Text::npos) continue;
    std::optional<PartRecord> file = ParsePartRecord(TextView(text).substr(0, end));
    if (owned && file) {
      // The owner's five fields follow.
      std::size_t ownerEnd = end;
      for (int i = 0; i < 5 && ownerEnd != Text::npos; ++i) ownerEnd = text.find(u'|', ownerEnd + 1);
      if (ownerEnd == Text::npos || !ParsePartOwner(TextView(text).substr(end + 1, ownerEnd - end - 1), *file)) continue;
      end = ownerEnd;
    }
    if (!file || end + 1 >= text.size()) continue;
    out.push_back(Line{part, dropped ? PartRecord{} : *file, text.substr(end + 1)});
  }
  return out;
}

std::vector<std::pair<Text, PartRecord>> DeliveredJournal::Read() const {
  std::vector<std::pair<Text, PartRecord>> out;
  for (Line& line : ReadLines())
    if (!line.part) out.emplace_back(std::move(line.entry), line.file);
  return out;
}

int DeliveredJournal::DropDelivered(UploadQueue& queue, UiMessageRing& removeRing, DeliveryBook* delivery) {
  const std::vector<Line> lines = ReadLines();
  if (lines.empty()) return 0;
  // The entries of each text in queue order; a delivery takes the first one
  // still there.
  std::unordered_map<Text, std::vector<std::uint64_t>> byText;
  for (const QueueEntry& entry : queue.Entries()) byText[entry.text].push_back(entry.id);
  std::unordered_map<Text, std::size_t> taken;
  std::unordered_set<std::uint64_t> gone;
  for (const Line& line : lines) {
    auto found = byText.find(line.entry);
    if (found == byText.end()) continue;
    std::size_t& next = taken[line.entry];
    if (next >= found->second.size()) continue;
    if (line.part) {
      if (delivery != nullptr) delivery->SetPart(found->second[next], line.file);
      continue;
    }
    const Text local = EntryLocalPath(line.entry);
    const std::optional<std::int64_t> mtime = FileModificationTime(local);
    if (!mtime || *mtime != line.file.localMtime || FileSize(local) != line.file.localSize) continue;
    if (delivery != nullptr) delivery->Forget(found->second[next]);
    gone.insert(found->second[next++]);
  }
  const std::vector<Text> removed = queue.RemoveIds(gone);
  for (const Text& text : removed) removeRing.Put(text, 0);
  return static_cast<int>(removed.size());
}

}  // namespace wexmoor
