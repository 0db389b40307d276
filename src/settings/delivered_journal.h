// The entries delivered since the preference file was last saved. The queue
// reaches the disk a moment after an upload ends; a program killed in that
// moment would find the entry again at its next start and send it a second
// time. Each delivery is therefore appended here at once (one flushed line),
// start-up drops the entries it names, and every save of the preference file
// drops the lines that save has made useless.
//
// The file lies beside the preference file ("<prefs>.delivered"); a line is
// "size|mtime|entry text", the size and time the local file had when it was
// delivered, so that a file changed since then is sent again.
#pragma once

#include <cstddef>
#include <mutex>
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
  explicit DeliveredJournal(Text path);

  // Appends one delivery and flushes it to the disk. False when it could not
  // be written (the entry may then be sent again after a crash).
  bool Add(const Text& entry, const PartRecord& file);
  // Lines written so far (those read at start-up included).
  std::size_t Count() const;
  // Drops the first `lines` lines: a saved preference file holds their
  // effect now.
  void DropFirst(std::size_t lines);

  // The journal's lines, torn or malformed ones left out.
  std::vector<std::pair<Text, PartRecord>> Read() const;
  // Removes from `queue` each entry named by the journal whose local file
  // still has the recorded size and time, telling the list through
  // `removeRing`. Returns how many went.
  int DropDelivered(UploadQueue& queue, UiMessageRing& removeRing);

 private:
  Text path_;
  mutable std::mutex mutex_;
};

}  // namespace wexmoor
