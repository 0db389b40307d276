#include "program/upload_notifications.h"

namespace wexmoor {

namespace {
constexpr char16_t kTitle[] = u"Wexmoor";
}

Text UploadedMessage(const std::vector<std::pair<Text, int>>& perServer) {
  Text message;
  for (const auto& [server, count] : perServer) {
    if (!message.empty()) message += u'\n';
    message += IntToText(count) + u" files uploaded to " + server;
  }
  return message;
}

void UploadNotifications::Linked(std::uint64_t entryId, const Text& link) {
  std::lock_guard lock(mutex_);
  if (!link.empty()) links_[entryId] = link;
}

void UploadNotifications::Uploaded(std::uint64_t entryId, const Text& server) {
  std::lock_guard lock(mutex_);
  failures_.erase(entryId);
  if (auto link = links_.find(entryId); link != links_.end()) {
    uploadedLinks_.push_back(std::move(link->second));
    links_.erase(link);
  }
  for (auto& [name, count] : uploaded_) {
    if (name == server) {
      ++count;
      return;
    }
  }
  uploaded_.emplace_back(server, 1);
}

void UploadNotifications::Failed(std::uint64_t entryId, const Text& fileName, const Text& server) {
  std::lock_guard lock(mutex_);
  Failures& f = failures_[entryId];
  ++f.inARow;
  if (f.inARow >= kFailuresBeforeNotice && !f.told) {
    f.told = true;
    pending_.push_back(DesktopNotice{kTitle, fileName + u" could not be uploaded to " + server + u" (" +
                                                 IntToText(f.inARow) + u" attempts in a row)", {}});
  }
}

void UploadNotifications::Removed(std::uint64_t entryId) {
  std::lock_guard lock(mutex_);
  failures_.erase(entryId);
}

std::vector<DesktopNotice> UploadNotifications::Due(bool queueEmpty, bool enabled) {
  std::lock_guard lock(mutex_);
  std::vector<DesktopNotice> due = std::move(pending_);
  pending_.clear();
  if (queueEmpty) {
    // Nothing is left to fail again.
    failures_.clear();
    if (!uploaded_.empty()) {
      // One file: its link goes with the notice.
      const bool single = uploaded_.size() == 1 && uploaded_[0].second == 1 && uploadedLinks_.size() == 1;
      due.push_back(DesktopNotice{kTitle, UploadedMessage(uploaded_), single ? uploadedLinks_[0] : Text()});
    }
    uploaded_.clear();
    uploadedLinks_.clear();
    links_.clear();
  }
  if (!enabled) due.clear();
  return due;
}

}  // namespace wexmoor
