#include "model/upload_queue.h"

#include <algorithm>
#include <chrono>

#include "platform/files.h"

namespace wexmoor {

Text EntryLocalPath(TextView entry) {
  auto bar = entry.find(u'|');
  return Text(bar == TextView::npos ? entry : entry.substr(0, bar));
}

Text EntryDisplayText(TextView entry) { return FileNamePart(EntryLocalPath(entry)); }

Text EntryServerName(TextView entry) {
  auto first = entry.find(u'|');
  if (first == TextView::npos) return Text();
  auto second = entry.find(u'|', first + 1);
  if (second == TextView::npos) return Text(entry.substr(first + 1));
  return Text(entry.substr(first + 1, second - first - 1));
}

Text EntrySubfolder(TextView entry) {
  auto first = entry.find(u'|');
  if (first == TextView::npos) return Text();
  auto second = entry.find(u'|', first + 1);
  if (second == TextView::npos) return Text();
  return Text(entry.substr(second + 1));
}

std::optional<std::uint64_t> UploadQueue::Append(TextView text, bool endsWaits) {
  if (text.empty()) return std::nullopt;
  std::lock_guard lock(mutex_);
  if (static_cast<int>(entries_.size()) >= kCapacity) return std::nullopt;
  std::uint64_t id = nextId_++;
  entries_.push_back(QueueEntry{id, Text(text)});
  ++changes_;
  ++appends_;
  if (endsWaits) ++waitEndingAppends_;
  appended_.notify_all();
  return id;
}

void UploadQueue::ForEach(const std::function<bool(const QueueEntry&)>& visit) const {
  std::lock_guard lock(mutex_);
  for (const QueueEntry& entry : entries_)
    if (!visit(entry)) break;
}

std::uint64_t UploadQueue::Appended() const {
  std::lock_guard lock(mutex_);
  return nextId_;
}

bool UploadQueue::WaitForAppend(std::uint64_t seen, int timeoutMs, std::stop_token stop) const {
  std::unique_lock lock(mutex_);
  return appended_.wait_for(lock, stop, std::chrono::milliseconds(timeoutMs), [&] { return nextId_ != seen; });
}

std::optional<QueueEntry> UploadQueue::At(int index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(entries_.size())) return std::nullopt;
  return entries_[static_cast<std::size_t>(index)];
}

int UploadQueue::FindByDisplayText(TextView display) const {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (EntryDisplayText(entries_[i].text) == display) return static_cast<int>(i);
  return -1;
}

int UploadQueue::FindById(std::uint64_t id) const {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].id == id) return static_cast<int>(i);
  return -1;
}

std::optional<Text> UploadQueue::RemoveAt(int index) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(entries_.size())) return std::nullopt;
  Text text = std::move(entries_[static_cast<std::size_t>(index)].text);
  entries_.erase(entries_.begin() + index);
  ++changes_;
  return text;
}

std::optional<Text> UploadQueue::RemoveById(std::uint64_t id) {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].id == id) {
      Text text = std::move(entries_[i].text);
      entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
      ++changes_;
      return text;
    }
  }
  return std::nullopt;
}

std::vector<Text> UploadQueue::RemoveIds(const std::unordered_set<std::uint64_t>& ids) {
  std::vector<Text> removed;
  if (ids.empty()) return removed;
  std::lock_guard lock(mutex_);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (ids.contains(entries_[i].id)) {
      removed.push_back(std::move(entries_[i].text));
      continue;
    }
    if (kept != i) entries_[kept] = std::move(entries_[i]);
    ++kept;
  }
  entries_.resize(kept);
  if (!removed.empty()) ++changes_;
  return removed;
}

int UploadQueue::Move(const std::unordered_set<std::uint64_t>& ids, bool toTop) {
  if (ids.empty()) return 0;
  std::lock_guard lock(mutex_);
  const auto chosen = [&ids](const QueueEntry& entry) { return ids.contains(entry.id); };
  const auto split = toTop ? std::stable_partition(entries_.begin(), entries_.end(), chosen)
                           : std::stable_partition(entries_.begin(), entries_.end(),
                                                   [&chosen](const QueueEntry& e) { return !chosen(e); });
  const int moved = static_cast<int>(toTop ? split - entries_.begin() : entries_.end() - split);
  if (moved > 0) ++changes_;
  return moved;
}

int UploadQueue::Size() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(entries_.size());
}

std::vector<Text> UploadQueue::Texts() const {
  std::lock_guard lock(mutex_);
  std::vector<Text> out;
  out.reserve(entries_.size());
  for (const auto& e : entries_) out.push_back(e.text);
  return out;
}

std::vector<QueueEntry> UploadQueue::Entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

void UploadQueue::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
  ++changes_;
}

std::vector<std::uint64_t> UploadQueue::Ids() const {
  std::lock_guard lock(mutex_);
  std::vector<std::uint64_t> ids;
  ids.reserve(entries_.size());
  for (const QueueEntry& entry : entries_) ids.push_back(entry.id);
  return ids;
}

}  // namespace wexmoor
