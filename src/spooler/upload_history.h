// The upload history: one tab-separated line per result of an upload (sent,
// failed with its reason, dropped), appended to "Wexmoor.history" and flushed
// to the disk at once:
//   local time (ISO 8601)  result  server  local path  remote path  size
//   seconds  verification ("sha256:…", "size" or "-")  link (or "-")
// The result is "sent", "dropped: <reason>" or "failed: <reason>". A tab or a
// line break inside a field becomes a space. Past 10 MiB the file becomes
// "Wexmoor.history.1" (the one old file kept) and a new one begins.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/server_table.h"
#include "platform/text.h"
#include "spooler/upload_outcomes.h"

namespace wexmoor {

inline constexpr char16_t kHistoryFileName[] = u"Wexmoor.history";
inline constexpr std::int64_t kHistoryRotateBytes = 10 * 1024 * 1024;

// "2026-12-09T06:12:03+01:00" for `epochSeconds` in the local time zone.
std::string LocalIsoTime(std::int64_t epochSeconds);

// What a queue entry's text and its server's record say of a result: the
// server, the local path and size, the remote path (the server's folder, the
// entry's subfolder, the remote name) and the link.
UploadRecord EntryRecord(const Text& entryText, const ServerRecord& server, UploadResult result);

// The line for `record` (without its line end) at local time `epochSeconds`.
std::string HistoryLine(const UploadRecord& record);

// One line read back; nullopt when it does not have the nine fields.
struct HistoryRow {
  Text time, result, server, localPath, remotePath, size, seconds, verification, link;
  bool Sent() const { return result == u"sent"; }
};
std::optional<HistoryRow> ParseHistoryLine(std::string_view line);

// The last `count` whole lines of the history at `path` (the old file's too
// when the current one has fewer), oldest first.
std::vector<std::string> LastHistoryLines(const Text& path, std::size_t count);

class UploadHistory final : public UploadRecorder {
 public:
  // `path` empty: nothing is written.
  explicit UploadHistory(Text path = {}, std::int64_t rotateBytes = kHistoryRotateBytes);
  ~UploadHistory() override;
  UploadHistory(const UploadHistory&) = delete;
  UploadHistory& operator=(const UploadHistory&) = delete;

  // Where the lines go from now on (the folder is made when missing).
  void SetPath(Text path);
  Text Path() const;
  // Appends the record's line and flushes it; from any thread.
  void Record(const UploadRecord& record) override;
  // False once a line could not be written (the disk full, the folder gone).
  bool Healthy() const;

 private:
  bool Open();
  bool Append(const std::string& line);
  void CloseFile();

  mutable std::mutex mutex_;
  Text path_;
  std::int64_t rotateBytes_;
  int fd_ = -1;
  bool tornEnd_ = false;
  bool healthy_ = true;
};

}  // namespace wexmoor
