// What the spooler knows about each queued entry's delivery beyond its text:
// the part begun on the server (kept across restarts), the entry's state for
// the queue list, its failures and when it may be tried again; and per server
// the hold-back after the server itself failed. One mutex, held for one read
// or change at a time.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace wexmoor {

// The local file as it was when its part on the server was begun, so a later
// attempt knows whether the part still belongs to the same file, and whose
// part it is: the entry's random token and the remote path it was begun at.
// A part is resumed only by the entry whose token it carries, at the same
// remote path, from the same local file.
struct PartRecord {
  PartRecord() = default;
  PartRecord(std::int64_t size, std::int64_t mtime) : localSize(size), localMtime(mtime) {}
  std::int64_t localSize = -1;    // -1: no part begun
  std::int64_t localMtime = 0;    // seconds since the epoch
  std::int64_t localMtimeNs = 0;  // nanoseconds since the epoch; 0: not known (an older record)
  std::uint64_t inode = 0;        // 0: not known (an older record)
  Text token;                     // the entry's; empty: an older record, owned by nobody
  Text remotePath;                // "server|folder/name" of the part's final name
  bool renameIssued = false;      // the rename to the final name was sent; its result may be lost
  bool Begun() const { return localSize >= 0; }
  friend bool operator==(const PartRecord&, const PartRecord&) = default;
};

// "size|mtime", and back (nullopt for anything else). The owner's fields
// are not in it: the "FilePart<n>" key keeps its old form.
Text PartRecordText(const PartRecord& part);
std::optional<PartRecord> ParsePartRecord(TextView text);
// The rest of a part record: "ns|inode|renamed|token|path" with "%" and "|" in
// the path written as "%25" and "%7C". ParsePartOwner fills them into `part`;
// false (and `part` unchanged) for anything else.
Text PartOwnerText(const PartRecord& part);
bool ParsePartOwner(TextView text, PartRecord& part);
// A new random token (16 lower-case hex digits).
Text NewPartToken();

enum class EntryStatus { kQueued, kUploading, kWaiting, kLocalMissing };

struct EntryDelivery {
  PartRecord part;
  EntryStatus status = EntryStatus::kQueued;
  int failures = 0;
  std::int64_t dueMs = 0;     // monotonic time of the next attempt; 0: now
  std::int64_t dueWall = 0;   // the same on the wall clock, for texts
  Text lastError;
};

class DeliveryBook {
 public:
  // The entry's record (a fresh one when it has none).
  EntryDelivery Get(std::uint64_t id) const;
  // Sets the entry's part. A part begun at a remote path belongs to this
  // entry alone: any other entry's record of the same path is dropped, so
  // that entry starts its own part from 0.
  void SetPart(std::uint64_t id, const PartRecord& part);
  void SetStatus(std::uint64_t id, EntryStatus status, TextView error = {});
  // A failed attempt: one more failure, waiting until dueMs.
  void EntryFailed(std::uint64_t id, TextView error, std::int64_t dueMs, std::int64_t dueWall);
  bool EntryDue(std::uint64_t id, std::int64_t nowMs) const;
  int EntryFailures(std::uint64_t id) const;
  // Every entry whose part is begun, with that part.
  std::vector<std::pair<std::uint64_t, PartRecord>> BegunParts() const;
  // The entry left the queue.
  void Forget(std::uint64_t id);

  // The server failed (no connection, 421, login refused): every entry of
  // it waits until dueMs.
  void ServerFailed(const Text& server, std::int64_t dueMs);
  bool ServerDue(const Text& server, std::int64_t nowMs) const;
  int ServerFailures(const Text& server) const;
  void ServerWorked(const Text& server);

  // Every entry and server may be tried at once (a new drop, "Retry now").
  void ClearWaits();
  // Counts the changes that have to reach the disk (parts begun or dropped).
  std::uint64_t Changes() const;

 private:
  struct ServerHold {
    int failures = 0;
    std::int64_t dueMs = 0;
  };
  mutable std::mutex mutex_;
  std::unordered_map<std::uint64_t, EntryDelivery> entries_;
  std::map<Text, ServerHold> servers_;
  std::uint64_t changes_ = 0;
};

}  // namespace wexmoor
