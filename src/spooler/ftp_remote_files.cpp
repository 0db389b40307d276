#include "spooler/ftp_remote_files.h"

#include "ftp/file_upload.h"
#include "ftp/part_upload.h"
#include "ftp/reply_reader.h"
#include "spooler/ftp_proof.h"

namespace wexmoor {

RemoteOffers FtpRemoteFiles::Offers() const {
  RemoteOffers offers;
  offers.resume = true;  // REST + STOR, or APPE
  offers.sizeCommand = sizeWorked_ || !sizeUnsupported_;
  offers.renameReplaces = false;  // told per rename: RNTO onto an existing name may be refused
  if (features_ != nullptr) AddProofOffers(*features_, offers);
  return offers;
}

RemoteAnswer FtpRemoteFiles::Size(const Text& name, std::int64_t& size) {
  // Before a transfer the listing may tell where a part ends; after one,
  // SIZE alone checks (the listing would cost a data connection per file on
  // a server without SIZE).
  switch (RemoteSize(session_, Connection(), server_, name, size, status_, !written_)) {
    case RemoteSizeAnswer::kSize:
      sizeWorked_ = true;
      return {};
    case RemoteSizeAnswer::kListedSize:
      return {};
    case RemoteSizeAnswer::kMissing:
      return {RemoteReply::kMissing, session_.lastReply};
    case RemoteSizeAnswer::kUnsupported:
      sizeUnsupported_ = true;
      return {RemoteReply::kUnsupported, session_.lastReply};
    case RemoteSizeAnswer::kServerGone:
      return {session_.StopRequested() ? RemoteReply::kStopped : RemoteReply::kServerGone, session_.lastReply};
    case RemoteSizeAnswer::kRefused:
      break;
  }
  return {RemoteReply::kRefused, session_.lastReply};
}

RemoteAnswer FtpRemoteFiles::Write(const Text& name, int fd, std::int64_t offset, std::int64_t length,
                                   TransferObserver& observer, ProgressTarget* progress) {
  written_ = true;
  const StoreResult stored =
      StoreFrom(session_, Connection(), server_, name, fd, offset, length, &observer, progress, status_);
  if (stored.result == 1) return {};
  if (stored.stopped) return {RemoteReply::kStopped, stored.message};
  return {stored.serverGone ? RemoteReply::kServerGone : RemoteReply::kRefused, stored.message};
}

RemoteAnswer FtpRemoteFiles::Rename(const Text& from, const Text& to) {
  Text reply;
  switch (RenameRemote(session_, Connection(), server_, from, to, reply, status_)) {
    case RenameAnswer::kDone:
      return {};
    case RenameAnswer::kServerGone:
      return {session_.StopRequested() ? RemoteReply::kStopped : RemoteReply::kServerGone, reply};
    case RenameAnswer::kFromRefused:
      return {RemoteReply::kRefused, reply};
    case RenameAnswer::kToRefused:
      break;
  }
  // RNFR of `from` was accepted and RNTO refused: because `to` exists?
  std::int64_t size = -1;
  const RemoteAnswer there = Size(to, size);
  if (there.Done()) return {RemoteReply::kExists, reply};
  if (there.reply == RemoteReply::kServerGone || there.reply == RemoteReply::kStopped) return there;
  return {RemoteReply::kRefused, reply};
}

RemoteAnswer FtpRemoteFiles::Remove(const Text& name) {
  const int deleted = DeleteRemote(session_, Connection(), server_, name, status_);
  if (deleted == 1) return {};
  if (deleted < 0) return {RemoteReply::kServerGone, session_.lastReply};
  return {RemoteReply::kRefused, session_.lastReply};
}

RemoteAnswer FtpRemoteFiles::SetTime(const Text& name, std::int64_t mtimeSeconds) {
  if (features_ == nullptr) return {RemoteReply::kUnsupported, {}};
  return FtpSetTime(session_, Connection(), server_, *features_, name, mtimeSeconds, status_);
}

RemoteAnswer FtpRemoteFiles::Hash(const Text& name, HashKind kind, std::string& hexDigest) {
  if (features_ == nullptr) return {RemoteReply::kUnsupported, {}};
  return FtpHash(session_, Connection(), server_, *features_, name, kind, hexDigest, status_);
}

void FtpRemoteFiles::Note(const Text& line, StatusTarget* status) { LogLine(session_, line, status); }

}  // namespace wexmoor
