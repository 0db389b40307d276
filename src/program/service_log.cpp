#include "program/service_log.h"

#include "platform/code_page.h"
#include "model/upload_queue.h"

namespace wexmoor {

std::string OutcomeLine(const Text& entryText, UploadResult result, const Text& reason) {
  const std::string path = Utf16ToUtf8(EntryLocalPath(entryText));
  const std::string server = Utf16ToUtf8(EntryServerName(entryText));
  const std::string subfolder = Utf16ToUtf8(EntrySubfolder(entryText));
  const std::string target = subfolder.empty() ? server : server + "/" + subfolder;
  switch (result) {
    case UploadResult::kSent:
      return "Sent " + path + " to " + target;
    case UploadResult::kFailed:
      return "Failed " + path + " to " + target + " (tried again later)" +
             (reason.empty() ? std::string() : ": " + Utf16ToUtf8(reason));
    case UploadResult::kDropped:
      return "Dropped " + path + ": no server named " + server;
  }
  return {};
}

namespace {

// Reasons kept for the window start with "!!" (shown as they are there).
Text Reason(const Text& error) { return error.starts_with(u"!!") ? error.substr(2) : error; }

}  // namespace

void ServiceLog::EntryFinished(std::uint64_t id, const Text& entryText, UploadResult result) {
  {
    std::lock_guard lock(mutex_);
    const Text server = EntryServerName(entryText);
    const Text reason = delivery_ != nullptr && result == UploadResult::kFailed ? Reason(delivery_->Get(id).lastError) : Text();
    if (result == UploadResult::kFailed && delivery_ != nullptr && delivery_->ServerFailures(server) > 0 &&
        down_.insert(server).second)
      Write("Server " + Utf16ToUtf8(server) + " is down" + (reason.empty() ? std::string() : ": " + Utf16ToUtf8(reason)) +
            "; its files wait and it is tried again");
    if (result == UploadResult::kSent && down_.erase(server) > 0) Write("Server " + Utf16ToUtf8(server) + " is back");
    bool tell = true;
    if (result == UploadResult::kFailed)
      tell = failed_.insert(id).second;
    else
      failed_.erase(id);
    if (tell) Write(OutcomeLine(entryText, result, reason));
  }
  std::lock_guard lock(mutex_);
  if (next_) next_->EntryFinished(id, entryText, result);
}

void ServiceLog::Line(const std::string& line) {
  std::lock_guard lock(mutex_);
  Write(line);
}

void ServiceLog::Write(const std::string& line) {
  if (!out_) return;
  if (clock_ == nullptr) {
    *out_ << line << std::endl;
    return;
  }
  const std::int64_t now = clock_->MonotonicMs();
  auto [it, first] = said_.try_emplace(line, Said{now, 0});
  if (!first) {
    if (now - it->second.atMs < kRepeatMs) {
      ++it->second.heldBack;
      return;
    }
    const int heldBack = it->second.heldBack;
    it->second = Said{now, 0};
    if (heldBack > 0) {
      *out_ << line << " (" << heldBack << " more in the last minute)" << std::endl;
      return;
    }
  }
  *out_ << line << std::endl;
  // Lines said long ago are forgotten, so the memory stays small.
  if (said_.size() > 1024) std::erase_if(said_, [now](const auto& item) { return now - item.second.atMs >= kRepeatMs; });
}

void ServiceLog::SetNext(UploadOutcomes* next) {
  std::lock_guard lock(mutex_);
  next_ = next;
}

}  // namespace wexmoor
