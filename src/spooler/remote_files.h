// The few operations the delivery policy asks of a server, always in the
// session's current folder and by the remote name as it is. The FTP, SFTP and
// WebDAV upload sessions implement them; the policy (delivery_policy.h)
// decides what to ask.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/status_target.h"
#include "model/transfer_observer.h"
#include "platform/text.h"

namespace wexmoor {

// Strongest last.
enum class HashKind { kCrc32, kMd5, kSha1, kSha256 };

// What the server offers, known once the session is open.
struct RemoteOffers {
  bool resume = false;          // Write may continue a file at an offset > 0
  bool sizeCommand = true;      // Size is supported at all
  bool renameReplaces = false;  // Rename onto an existing name replaces it
  bool setTime = false;         // SetTime is supported
  std::vector<HashKind> hashes; // what Hash can compute
  // Bytes below a part's size that a resume must send again: writes that
  // were in flight together may have completed out of order, so the part's
  // size does not prove the bytes below it arrived (0: done in order).
  std::int64_t resumeBelow = 0;
};

enum class RemoteReply {
  kDone,
  kMissing,      // no such file
  kExists,       // a rename refused because the target name exists
  kRefused,      // the server refused this one command: the entry's failure
  kUnsupported,  // the server does not offer it
  kServerGone,   // 421, the connection lost, a time-out: the server's failure
  kStopped,      // the stop was seen
};

struct RemoteAnswer {
  RemoteReply reply = RemoteReply::kDone;
  Text message;  // the server's own words, or the engine's reason
  bool Done() const { return reply == RemoteReply::kDone; }
};

class RemoteFiles {
 public:
  virtual ~RemoteFiles() = default;
  virtual RemoteOffers Offers() const = 0;
  // The size of `name`; kMissing when there is no such file.
  virtual RemoteAnswer Size(const Text& name, std::int64_t& size) = 0;
  // The size of `name` when its rename is to follow at once: an
  // implementation may ask the server for both together.
  virtual RemoteAnswer SizeBeforeRename(const Text& name, std::int64_t& size) { return Size(name, size); }
  // Sends the bytes of the open file `fd` from `offset` on (`length` bytes)
  // into `name`: a new file when `offset` is 0, else continuing it at
  // `offset`. Every block passes `observer` (which may hold it back).
  virtual RemoteAnswer Write(const Text& name, int fd, std::int64_t offset, std::int64_t length,
                             TransferObserver& observer, ProgressTarget* progress) = 0;
  // kExists when the server refused because `to` exists.
  virtual RemoteAnswer Rename(const Text& from, const Text& to) = 0;
  virtual RemoteAnswer Remove(const Text& name) = 0;
  // The file's modification time, seconds since the epoch (UTC).
  virtual RemoteAnswer SetTime(const Text& name, std::int64_t mtimeSeconds) = 0;
  // The server's digest of `name`, lower-case hex.
  virtual RemoteAnswer Hash(const Text& name, HashKind kind, std::string& hexDigest) = 0;
  // A line of the policy's own ("-----" events, "!!---" errors) into the
  // session's log and onto `status`.
  virtual void Note(const Text& line, StatusTarget* status) {
    if (status != nullptr) status->SetStatusText(line);
  }
};

}  // namespace wexmoor
