// The persistent upload queue: at most 80000 entries in order. Each entry is
// a text (local path "|" server name "|" remote subfolder) with an identity
// of its own, so the worker can tell its entry from another one with the same
// text after the user removed it. Every operation is whole under one mutex.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
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
  // the text is empty.
  std::optional<std::uint64_t> Append(TextView text);
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
  int Size() const;
  std::vector<Text> Texts() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<QueueEntry> entries_;
  std::uint64_t nextId_ = 1;
};

}  // namespace wexmoor
