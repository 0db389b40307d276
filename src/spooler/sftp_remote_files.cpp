#include "spooler/sftp_remote_files.h"

namespace wexmoor {

RemoteOffers SftpRemoteFiles::Offers() const {
  RemoteOffers offers;
  offers.resume = true;
  offers.sizeCommand = true;
  offers.renameReplaces = session_.PosixRenameOffered();
  // Up to the whole window of writes may have been in flight at a cut, done
  // by the server in any order: the part's size does not prove the bytes
  // below it arrived.
  offers.resumeBelow = SftpSession::WritesInFlightBytes();
  offers.setTime = true;  // SETSTAT; a server that refuses it is only logged
  return offers;
}

RemoteAnswer SftpRemoteFiles::Failed() const {
  if (session_.Connected()) return {RemoteReply::kRefused, {}};
  return {stop_.stop_requested() ? RemoteReply::kStopped : RemoteReply::kServerGone, {}};
}

RemoteAnswer SftpRemoteFiles::Size(const Text& name, std::int64_t& size) {
  // The server did the STAT behind the CLOSE, after every WRITE: the same
  // answer a STAT now would give, one round trip sooner.
  const bool known = name == written_ && writtenSize_ >= 0;
  size = known ? writtenSize_ : -1;
  writtenSize_ = -1;
  if (known) return {};
  size = session_.RemoteSize(name, status_);
  if (size >= 0) return {};
  if (size == -1) return {RemoteReply::kMissing, {}};
  size = -1;
  return Failed();
}

RemoteAnswer SftpRemoteFiles::Write(const Text& name, int fd, std::int64_t offset, std::int64_t length,
                                    TransferObserver& observer, ProgressTarget* progress) {
  writtenSize_ = -1;
  std::int64_t sizeAfter = -1;
  if (session_.WriteFrom(fd, name, offset, length, &observer, progress, status_, &sizeAfter) != 1) return Failed();
  written_ = name;
  writtenSize_ = sizeAfter;
  return {};
}

RemoteAnswer SftpRemoteFiles::Rename(const Text& from, const Text& to) {
  writtenSize_ = -1;
  if (session_.Rename(from, to, status_) == 1) return {};
  RemoteAnswer failed = Failed();
  if (failed.reply != RemoteReply::kRefused || session_.PosixRenameOffered()) return failed;
  // A plain rename is refused where `to` exists.
  std::int64_t size = -1;
  const RemoteAnswer there = Size(to, size);
  if (there.Done()) return {RemoteReply::kExists, {}};
  return there.reply == RemoteReply::kMissing ? failed : there;
}

RemoteAnswer SftpRemoteFiles::Remove(const Text& name) {
  writtenSize_ = -1;
  if (session_.Remove(name, status_) == 1) return {};
  return Failed();
}

RemoteAnswer SftpRemoteFiles::SetTime(const Text& name, std::int64_t mtimeSeconds) {
  // The answer is read with a later one; a refusal is logged then.
  if (session_.SetModificationTimeLater(name, mtimeSeconds, status_) == 1) return {};
  return Failed();
}

RemoteAnswer SftpRemoteFiles::Hash(const Text&, HashKind, std::string&) { return {RemoteReply::kUnsupported, {}}; }

void SftpRemoteFiles::Note(const Text& line, StatusTarget* status) {
  if (note_) note_(line, status);
}

}  // namespace wexmoor
