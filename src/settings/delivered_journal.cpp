#include "settings/delivered_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
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

bool DeliveredJournal::Append(const std::string& lines, std::size_t lineCount) {
  if (fd_ < 0) fd_ = ::open(PathToNative(path_).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) return false;
  // A line cut short (by a crash, or a write that failed) ends here, as a
  // line of its own that reads as nothing.
  std::string bytes;
  if (tornEnd_) bytes.push_back('\n');
  bytes.append(lines);
  struct stat before {};
  const bool sized = ::fstat(fd_, &before) == 0;
  const bool ok = ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fdatasync(fd_) == 0;
  if (!ok) {
    // Cut back to where it was, so that no line of a failed write is read
    // later; where that fails too, the next append ends the torn line.
    if (!sized || ::ftruncate(fd_, before.st_size) != 0) tornEnd_ = true;
    CloseFile();  // opened afresh next time
    return false;
  }
  if (tornEnd_) {
    ++lines_;
    lineIds_.push_back(0);
    tornEnd_ = false;
  }
  lines_ += lineCount;
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

bool DeliveredJournal::AddEntries(const std::vector<QueueEntry>& removed, const std::vector<QueueEntry>& added) {
  std::lock_guard lock(mutex_);
  // Under the lock: a delivery line comes either before (and the entry is
  // passed over) or after these lines.
  std::string lines;
  std::size_t count = 0;
  for (const auto& [entries, kind] : {std::pair{&removed, "R|0|0|"}, std::pair{&added, "A|0|0|"}}) {
    for (const QueueEntry& entry : *entries) {
      if (entry.text.find_first_of(u"\r\n") != Text::npos || journaled_.contains(entry.id)) continue;
      lines.append(kind).append(Utf16ToUtf8(entry.text)).push_back('\n');
      ++count;
    }
  }
  if (count == 0) return true;
  if (!Append(lines, count)) return false;
  lineIds_.insert(lineIds_.end(), count, 0);
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
    Kind kind = Kind::kDelivered;
    const bool tagged = text.size() >= 2 && text[1] == u'|';
    const char16_t tag = tagged ? text[0] : u'0';
    if (tag == u'D' || tag == u'Q' || tag == u'P') kind = Kind::kPart;
    if (tag == u'A') kind = Kind::kAdded;
    if (tag == u'R') kind = Kind::kRemoved;
    if (kind != Kind::kDelivered) text.erase(0, 2);
    const std::size_t first = text.find(u'|');
    std::size_t end = first == Text::npos ? Text::npos : text.find(u'|', first + 1);
    if (end == Text::npos) continue;
    std::optional<PartRecord> file = ParsePartRecord(TextView(text).substr(0, end));
    if (tag == u'Q' && file) {
      // The owner's five fields follow.
      std::size_t ownerEnd = end;
      for (int i = 0; i < 5 && ownerEnd != Text::npos; ++i) ownerEnd = text.find(u'|', ownerEnd + 1);
      if (ownerEnd == Text::npos || !ParsePartOwner(TextView(text).substr(end + 1, ownerEnd - end - 1), *file)) continue;
      end = ownerEnd;
    }
    if (!file || end + 1 >= text.size()) continue;
    out.push_back(Line{kind, tag == u'D' ? PartRecord{} : *file, text.substr(end + 1)});
  }
  return out;
}

std::vector<std::pair<Text, PartRecord>> DeliveredJournal::Read() const {
  std::vector<std::pair<Text, PartRecord>> out;
  for (Line& line : ReadLines())
    if (line.kind == Kind::kDelivered) out.emplace_back(std::move(line.entry), line.file);
  return out;
}

int DeliveredJournal::DropDelivered(UploadQueue& queue, UiMessageRing& removeRing, DeliveryBook* delivery,
                                    UiMessageRing* addRing) {
  const std::vector<Line> lines = ReadLines();
  if (lines.empty()) return 0;
  // The entries of each text still there, in queue order: a line about a
  // text is about the first of them.
  std::unordered_map<Text, std::deque<std::uint64_t>> live;
  for (const QueueEntry& entry : queue.Entries()) live[entry.text].push_back(entry.id);
  std::unordered_set<std::uint64_t> added, gone;
  for (const Line& line : lines) {
    std::deque<std::uint64_t>& ids = live[line.entry];
    if (line.kind == Kind::kAdded) {
      const std::optional<std::uint64_t> id = queue.Append(line.entry);
      if (!id) continue;
      ids.push_back(*id);
      added.insert(*id);
      continue;
    }
    if (ids.empty()) continue;
    if (line.kind == Kind::kPart) {
      if (delivery != nullptr) delivery->SetPart(ids.front(), line.file);
      continue;
    }
    if (line.kind == Kind::kDelivered) {
      const Text local = EntryLocalPath(line.entry);
      const std::optional<std::int64_t> mtime = FileModificationTime(local);
      if (!mtime || *mtime != line.file.localMtime || FileSize(local) != line.file.localSize) continue;
    }
    if (delivery != nullptr) delivery->Forget(ids.front());
    gone.insert(ids.front());
    ids.pop_front();
  }
  // The list shows the file's entries: those that came through the journal
  // are shown, those of the file that went are taken away, and one that
  // came and went within the journal is never shown.
  std::vector<Text> fromFile;
  int searchFrom = 0;
  for (const QueueEntry& entry : queue.Entries()) {
    if (!added.contains(entry.id)) {
      if (gone.contains(entry.id)) fromFile.push_back(entry.text);
      continue;
    }
    if (gone.contains(entry.id) || addRing == nullptr) continue;
    const int slot = addRing->Put(entry.text, searchFrom);
    if (slot >= 0) searchFrom = slot + 1;
  }
  queue.RemoveIds(gone);
  for (const Text& text : fromFile) removeRing.Put(text, 0);
  return static_cast<int>(fromFile.size());
}

}  // namespace wexmoor
