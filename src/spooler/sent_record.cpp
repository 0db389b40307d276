#include "spooler/sent_record.h"

#include <charconv>
#include <string_view>

#include "platform/files.h"

namespace wexmoor {

namespace {
// Line: size TAB mtime TAB server TAB path LF. The path comes last, so it may
// hold tabs; names with line breaks are never watched.
bool ParseLine(std::string_view line, SentRecord::Key& key, FileStamp& stamp) {
  auto field = [&line](std::string_view& out) {
    std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return false;
    out = line.substr(0, tab);
    line.remove_prefix(tab + 1);
    return true;
  };
  std::string_view size, mtime, server;
  if (!field(size) || !field(mtime) || !field(server) || line.empty()) return false;
  auto number = [](std::string_view text, std::int64_t& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
  };
  if (!number(size, stamp.size) || !number(mtime, stamp.mtime)) return false;
  key = {std::string(server), std::string(line)};
  return true;
}
}  // namespace

void SentRecord::Load(const Text& fileName) {
  entries_.clear();
  dirty_ = false;
  std::optional<std::string> bytes = ReadWholeFile(fileName);
  if (!bytes) return;
  std::string_view rest(*bytes);
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    Key key;
    FileStamp stamp;
    if (ParseLine(line, key, stamp)) entries_[std::move(key)] = stamp;
  }
}

bool SentRecord::Save(const Text& fileName, std::string* error) {
  if (!dirty_) return true;
  std::string bytes;
  for (const auto& [key, stamp] : entries_) {
    bytes += std::to_string(stamp.size) + '\t' + std::to_string(stamp.mtime) + '\t' + key.first + '\t' +
             key.second + '\n';
  }
  if (!WriteFileAtomically(fileName, bytes, 0600, error)) return false;
  dirty_ = false;
  return true;
}

bool SentRecord::Contains(const Key& key, const FileStamp& stamp) const {
  auto it = entries_.find(key);
  return it != entries_.end() && it->second == stamp;
}

void SentRecord::Put(const Key& key, const FileStamp& stamp) {
  FileStamp& slot = entries_[key];
  if (slot == stamp) return;
  slot = stamp;
  dirty_ = true;
}

void SentRecord::Erase(const Key& key) {
  if (entries_.erase(key) != 0) dirty_ = true;
}

}  // namespace wexmoor
