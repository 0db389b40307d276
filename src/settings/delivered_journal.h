// What happened to the queue since the preference file was last saved whole,
// for the changes that are cheap to say by appending a line: an entry
// delivered, and the part begun on the server for an entry; and, while the
// preference file cannot be written (its owner made it read-only), the
// entries added and removed. The queue would
// otherwise reach the disk only through a rewrite of the whole preference
// file; while a long queue drains, that rewrite would cost far more than the
// changes themselves. Each line is appended and flushed at once, start-up
// applies the lines to the queue it read, and every whole save of the
// preference file drops the lines that save has made useless.
//
// The file lies beside the preference file ("<prefs>.delivered"). A delivery
// is "size|mtime|entry text", the size and time the local file had when it
// was delivered, so that a file changed since then is sent again. A part is
// "Q|size|mtime|ns|inode|renamed|token|remote path|entry text" (the path's "%"
// and "|" escaped; "P|size|mtime|entry text" in older journals), or
// "D|0|0|entry text" when the entry has no part any more. An entry added is
// "A|0|0|entry text" and one removed "R|0|0|entry text" (the first entry with
// that text at that point goes). Older readers pass over the Q, A and R
// lines: their first field is not a size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_set>
#include <utility>
#include <vector>

#include "model/delivery_book.h"
#include "platform/text.h"
#include "model/upload_queue.h"
#include "model/ui_message_ring.h"

namespace wexmoor {

Text DeliveredJournalPath(const Text& preferenceFile);

class DeliveredJournal {
 public:
  // Reads the line count once. A line cut short by a crash is ended by the
  // next append, so that the next line stands on its own.
  explicit DeliveredJournal(Text path);
  ~DeliveredJournal();
  DeliveredJournal(const DeliveredJournal&) = delete;
  DeliveredJournal& operator=(const DeliveredJournal&) = delete;

  // Appends one delivery and flushes it to the disk. False when it could not
  // be written (the entry may then be sent again after a crash). `id`, the
  // entry's identity in this run's queue, is remembered (see Journaled).
  bool Add(const Text& entry, const PartRecord& file, std::uint64_t id = 0);
  // Appends the part now begun for an entry (or none: size -1).
  bool AddPart(const Text& entry, const PartRecord& part);
  // Appends the entries removed (other than by delivery) and then those
  // added, as one write flushed to the disk: the queue's changes while the
  // preference file cannot hold them. An entry already written as delivered
  // is passed over. False when it could not be written (nothing of it is
  // then read back).
  bool AddEntries(const std::vector<QueueEntry>& removed, const std::vector<QueueEntry>& added);
  // The entry with identity `id` was written as delivered since the last
  // whole save, so the journal says its removal.
  bool Journaled(std::uint64_t id) const;
  // Lines written so far (those read at start-up included).
  std::size_t Count() const;
  // Drops the first `lines` lines: a saved preference file holds their
  // effect now. A delivery whose entry `stillSaved` names stays: the worker
  // writes the line before the entry leaves the queue, so a save may still
  // hold an entry whose delivery line came before it.
  void DropFirst(std::size_t lines, const std::function<bool(std::uint64_t)>& stillSaved = {});

  // The deliveries, torn or malformed lines and part lines left out.
  std::vector<std::pair<Text, PartRecord>> Read() const;
  // Applies the journal, line by line, to a queue read from the preference
  // file: appends the entries added and removes those removed, sets the
  // parts of the entries named by part lines (with `delivery`), and removes
  // each delivered entry whose local file still has the recorded size and
  // time. The list learns of entries that came through `addRing` (when
  // given) and of entries of the file that went through `removeRing`.
  // Returns how many entries of the file went.
  int DropDelivered(UploadQueue& queue, UiMessageRing& removeRing, DeliveryBook* delivery = nullptr,
                    UiMessageRing* addRing = nullptr);

 private:
  enum class Kind { kDelivered, kPart, kAdded, kRemoved };
  struct Line {
    Kind kind = Kind::kDelivered;
    PartRecord file;
    Text entry;
  };
  std::vector<Line> ReadLines() const;
  // Appends `lineCount` whole lines; a write that fails leaves no part of
  // them behind where the file can be cut back.
  bool Append(const std::string& lines, std::size_t lineCount = 1);
  void CloseFile();

  Text path_;
  mutable std::mutex mutex_;
  std::size_t lines_ = 0;
  bool tornEnd_ = false;
  int fd_ = -1;  // open for appending while the file is the same
  // Identities of the delivered lines, in line order (0: read at start-up
  // or a part line), and the same as a set.
  std::vector<std::uint64_t> lineIds_;
  std::unordered_set<std::uint64_t> journaled_;
};

}  // namespace wexmoor
