#include "model/upload_queue.h"

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

std::optional<std::uint64_t> UploadQueue::Append(TextView text) {
  if (text.empty()) return std::nullopt;
  std::lock_guard lock(mutex_);
  if (static_cast<int>(entries_.size()) >= kCapacity) return std::nullopt;
  std::uint64_t id = nextId_++;
  entries_.push_back(QueueEntry{id, Text(text)});
  return id;
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
  return text;
}

std::optional<Text> UploadQueue::RemoveById(std::uint64_t id) {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].id == id) {
      Text text = std::move(entries_[i].text);
      entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
      return text;
    }
  }
  return std::nullopt;
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

void UploadQueue::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

}  // namespace wexmoor
