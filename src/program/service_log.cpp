#include "program/service_log.h"

#include "platform/code_page.h"
#include "model/upload_queue.h"

namespace wexmoor {

std::string OutcomeLine(const Text& entryText, UploadResult result) {
  const std::string path = Utf16ToUtf8(EntryLocalPath(entryText));
  const std::string server = Utf16ToUtf8(EntryServerName(entryText));
  const std::string subfolder = Utf16ToUtf8(EntrySubfolder(entryText));
  const std::string target = subfolder.empty() ? server : server + "/" + subfolder;
  switch (result) {
    case UploadResult::kSent:
      return "Sent " + path + " to " + target;
    case UploadResult::kFailed:
      return "Failed " + path + " to " + target + " (tried again later)";
    case UploadResult::kDropped:
      return "Dropped " + path + ": no server named " + server;
  }
  return {};
}

void ServiceLog::EntryFinished(std::uint64_t id, const Text& entryText, UploadResult result) {
  std::lock_guard lock(mutex_);
  bool tell = true;
  if (result == UploadResult::kFailed)
    tell = failed_.insert(id).second;
  else
    failed_.erase(id);
  if (out_ && tell) *out_ << OutcomeLine(entryText, result) << std::endl;
  if (next_) next_->EntryFinished(id, entryText, result);
}

void ServiceLog::Line(const std::string& line) {
  std::lock_guard lock(mutex_);
  if (out_) *out_ << line << std::endl;
}

void ServiceLog::SetNext(UploadOutcomes* next) {
  std::lock_guard lock(mutex_);
  next_ = next;
}

}  // namespace wexmoor
