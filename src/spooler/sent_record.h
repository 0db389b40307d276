// What the watch folders have sent: for each file (by server and native path)
// the size and modification time it had when it was queued. Kept in a file of
// its own, one line per file, replaced atomically on every save, so a restart
// or a rescan sends nothing twice and a crash leaves the old record or the new
// one.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "platform/text.h"

namespace wexmoor {

struct FileStamp {
  std::int64_t size = -1;
  std::int64_t mtime = 0;
  bool operator==(const FileStamp&) const = default;
};

class SentRecord {
 public:
  using Key = std::pair<std::string, std::string>;  // server (UTF-8), native path

  // Reads `fileName`; a missing file is an empty record, lines that do not
  // parse are passed over.
  void Load(const Text& fileName);
  // Writes the whole record when it changed since the last save.
  bool Save(const Text& fileName, std::string* error = nullptr);

  bool Contains(const Key& key, const FileStamp& stamp) const;
  void Put(const Key& key, const FileStamp& stamp);
  void Erase(const Key& key);
  const std::map<Key, FileStamp>& Entries() const { return entries_; }
  bool Dirty() const { return dirty_; }

 private:
  std::map<Key, FileStamp> entries_;
  bool dirty_ = false;
};

}  // namespace wexmoor
