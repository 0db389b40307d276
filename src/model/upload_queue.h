// The persistent upload queue: at most 80000 entries in order. Each entry is
// a text (local path "|" server name "|" remote subfolder) with an identity
// of its own, so the worker can tell its entry from another one with the same
// text after the user removed it. Every operation is whole under one mutex.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <optional>
#include <unordered_set>
#include <vector>

#include "platform/text.h"

namespace wexmoor {

// Texts derived from an entry text.
Text EntryLocalPath(TextView entry);    // before the first "|"
Text EntryDisplayText(TextView entry);  // file-name part of the local path
Text EntryServerName(TextView entry);   // between the first and second "|"
Text EntrySubfolder(TextView entry);    // after the second "|"

struct QueueEntry {
  std::uint64_t id = 0;
  Text text;
};

class UploadQueue {
 public:
  static constexpr int kSlots = 80001;
  static constexpr int kCapacity = kSlots - 1;

  // Appends at the end; nullopt (nothing changed) when the queue is full or
  // the text is empty. `endsWaits`: the user asked for it (a drop, a
  // hand-over), so entries waiting for their server get their chance now;
  // a watch folder's arrival does not.
  std::optional<std::uint64_t> Append(TextView text, bool endsWaits = true);
  // The entry at `index`, or nullopt past the end.
  std::optional<QueueEntry> At(int index) const;
  // Index of the first entry whose display text equals `display`, or -1.
  int FindByDisplayText(TextView display) const;
  // Index of the entry with identity `id`, or -1.
  int FindById(std::uint64_t id) const;
  // Removes the entry at `index` (following entries move down); its text, or
  // nullopt when there is none.
  std::optional<Text> RemoveAt(int index);
  // Removes the entry with identity `id`; its text, or nullopt.
  std::optional<Text> RemoveById(std::uint64_t id);
  // Removes every entry whose identity is in `ids` in one pass; their texts,
  // in queue order.
  std::vector<Text> RemoveIds(const std::unordered_set<std::uint64_t>& ids);
  // Moves every entry whose identity is in `ids` to the front (`toTop`) or
  // the end of the queue, keeping their order among themselves and the
  // others' order; how many moved.
  int Move(const std::unordered_set<std::uint64_t>& ids, bool toTop);
  // Calls `visit` with the entries in order, under the queue's lock, until it
  // returns false. `visit` must not call back into the queue.
  void ForEach(const std::function<bool(const QueueEntry&)>& visit) const;
  // How many entries were ever appended; WaitForAppend returns as soon as it
  // differs from `seen` (true), after `timeoutMs` or on the stop (false).
  std::uint64_t Appended() const;
  bool WaitForAppend(std::uint64_t seen, int timeoutMs, std::stop_token stop) const;
  int Size() const;
  std::vector<Text> Texts() const;
  // Every entry with its identity, in order.
  std::vector<QueueEntry> Entries() const;
  // The identities of every entry, in queue order.
  std::vector<std::uint64_t> Ids() const;
  void Clear();
  // Counters that only grow: every change (append, removal, move, clearing), and
  // the appends alone. Read without the lock, for whoever saves or waits.
  std::uint64_t Changes() const { return changes_.load(); }
  std::uint64_t Appends() const { return appends_.load(); }
  // Grows with each append that ends the waits; starts at 1.
  std::uint64_t WaitEndingAppends() const { return waitEndingAppends_.load(); }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable_any appended_;
  std::vector<QueueEntry> entries_;
  std::uint64_t nextId_ = 1;
  std::atomic<std::uint64_t> changes_{0};
  std::atomic<std::uint64_t> appends_{0};
  std::atomic<std::uint64_t> waitEndingAppends_{1};
};

}  // namespace wexmoor
