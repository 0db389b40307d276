#include "spooler/webdav_remote_files.h"

#include <sys/stat.h>

#include <cstdio>

#include "platform/code_page.h"
#include "webdav/dav_listing.h"

namespace wexmoor {
namespace {

Text TwoDecimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return AsciiToText(text);
}

}  // namespace

RemoteAnswer DavRemoteAnswer(const DavAnswer& answer) {
  RemoteAnswer out;
  out.message = Utf8ToUtf16(answer.Describe());
  switch (answer.failure) {
    case DavFailure::kStopped:
      out.reply = RemoteReply::kStopped;
      return out;
    case DavFailure::kConnection:
    case DavFailure::kUntrusted:
      out.reply = RemoteReply::kServerGone;
      return out;
    case DavFailure::kRedirect:
      out.reply = RemoteReply::kRefused;
      return out;
    case DavFailure::kNone:
      break;
  }
  const int status = answer.status;
  if (status >= 200 && status < 300) {
    out.reply = RemoteReply::kDone;
  } else if (status == 404) {
    out.reply = RemoteReply::kMissing;
  } else if (status == 412) {
    out.reply = RemoteReply::kExists;  // "Overwrite: F" met an existing name
  } else if (status == 405 || status == 501) {
    out.reply = RemoteReply::kUnsupported;
  } else if (status == 401 || (status >= 500 && status != 507)) {
    // The login no longer holds, or the server itself is in trouble.
    out.reply = RemoteReply::kServerGone;
  } else {
    // 403, 409, 413, 507 ...: this file's failure, in the server's words.
    out.reply = RemoteReply::kRefused;
  }
  return out;
}

std::string WebDavRemoteFiles::PathOf(const Text& name) const { return JoinDavPath(folder_, Utf16ToUtf8(name)); }

RemoteOffers WebDavRemoteFiles::Offers() const {
  RemoteOffers offers;
  offers.resume = false;
  offers.sizeCommand = true;
  offers.renameReplaces = true;
  offers.setTime = mtimeAccepted_;
  return offers;
}

RemoteAnswer WebDavRemoteFiles::Size(const Text& name, std::int64_t& size) {
  size = -1;
  const DavAnswer answer = client_.Propfind(PathOf(name), 0);
  RemoteAnswer out = DavRemoteAnswer(answer);
  if (!out.Done()) return out;
  const std::optional<DavListing> listing = ParseMultistatus(answer.body);
  if (!listing || listing->entries.empty() || !listing->entries.front().found) {
    return {RemoteReply::kRefused, u"!!--- Unreadable answer to PROPFIND"};
  }
  const DavEntry& entry = listing->entries.front();
  if (entry.folder) return {RemoteReply::kRefused, u"!!--- \"" + name + u"\" is a folder on the server"};
  if (entry.length < 0) return {RemoteReply::kUnsupported, u"No length given"};
  size = entry.length;
  return out;
}

RemoteAnswer WebDavRemoteFiles::Write(const Text& name, int fd, std::int64_t offset, std::int64_t length,
                                      TransferObserver& observer, ProgressTarget* progress) {
  // A ranged PUT is not something servers agree on: always the whole file.
  if (offset != 0) return {RemoteReply::kUnsupported, u"No resume over WebDAV"};
  struct stat info {};
  const std::int64_t mtime = ::fstat(fd, &info) == 0 ? static_cast<std::int64_t>(info.st_mtime) : -1;
  const std::string path = PathOf(name);
  const DavAnswer answer = client_.Put(path, fd, length, mtime, &observer, progress, status_);
  RemoteAnswer out = DavRemoteAnswer(answer);
  if (!out.Done()) return out;
  if (answer.mtimeAccepted) {
    mtimeAccepted_ = true;
    timedPath_ = path;
    timedMtime_ = mtime;
  } else if (timedPath_ == path) {
    timedPath_.clear();
  }
  const double kilobytes = static_cast<double>(length) / 1024.0;
  const Text line = u"-----" + TwoDecimals(kilobytes) + u" Kb sent at " +
                    TwoDecimals(answer.uploadBytesPerSecond / 1024.0) + u" Kb/s.";
  client_.Log().Append(line);
  if (status_ != nullptr) status_->SetStatusText(line);
  return out;
}

RemoteAnswer WebDavRemoteFiles::Rename(const Text& from, const Text& to) {
  const std::string fromPath = PathOf(from);
  const std::string toPath = PathOf(to);
  const DavAnswer answer = client_.Move(fromPath, toPath);
  RemoteAnswer out = DavRemoteAnswer(answer);
  if (out.Done() && timedPath_ == fromPath) timedPath_ = toPath;
  if (out.reply == RemoteReply::kUnsupported) renameRefused_ = true;
  return out;
}

RemoteAnswer WebDavRemoteFiles::Remove(const Text& name) { return DavRemoteAnswer(client_.Delete(PathOf(name))); }

RemoteAnswer WebDavRemoteFiles::SetTime(const Text& name, std::int64_t mtimeSeconds) {
  // The time went with the PUT; it holds where the server said it took it.
  if (mtimeAccepted_ && timedPath_ == PathOf(name) && timedMtime_ == mtimeSeconds) return {};
  return {RemoteReply::kUnsupported, u"The server keeps its own times"};
}

RemoteAnswer WebDavRemoteFiles::Hash(const Text& name, HashKind kind, std::string& hexDigest) {
  (void)name;
  (void)kind;
  hexDigest.clear();
  return {RemoteReply::kUnsupported, u"No digest over WebDAV"};
}

}  // namespace wexmoor
