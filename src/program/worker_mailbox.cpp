#include "program/worker_mailbox.h"

#include <algorithm>

#include "model/upload_queue.h"
#include "platform/files.h"

namespace wexmoor {

Text StatusLineText(const Text& status, int filesInProgress, const Translator& translator) {
  if (filesInProgress <= 1) return status;
  Text line(u"[");
  line += IntToText(filesInProgress);
  line += u' ';
  line += translator.Translate(u"files in progress");
  line += u"] ";
  line += status;
  return line;
}

void WorkerMailbox::PostCurrentFile(const Text& name) {
  std::lock_guard lock(mutex_);
  pending_.currentFile = name;
}

void WorkerMailbox::PostStatus(const Text& line) {
  std::lock_guard lock(mutex_);
  pending_.status = line;
}

void WorkerMailbox::PostProgress(int percent) {
  std::lock_guard lock(mutex_);
  pending_.progress = std::clamp(percent, 0, 100);
}

void WorkerMailbox::PostFilesInProgress(int count) {
  std::lock_guard lock(mutex_);
  pending_.filesInProgress = std::max(count, 0);
}

WorkerMailbox::Changes WorkerMailbox::Take() {
  std::lock_guard lock(mutex_);
  Changes out = std::move(pending_);
  pending_ = Changes{};
  return out;
}

void WorkerMailbox::EntryOutcome(std::uint64_t entryId, const Text& entryText, bool uploaded) {
  if (!notifications_) return;
  const Text server = EntryServerName(entryText);
  if (uploaded)
    notifications_->Uploaded(entryId, server);
  else
    notifications_->Failed(entryId, FileNamePart(EntryLocalPath(entryText)), server);
}

}  // namespace wexmoor
