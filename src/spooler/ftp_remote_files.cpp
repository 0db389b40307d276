#include "spooler/ftp_remote_files.h"

#include <utility>

#include "ftp/command_batch.h"
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
  renameFrom_.clear();
  behind_.clear();
  if (!Settled()) return {RemoteReply::kServerGone, session_.lastReply};
  session_.passiveAhead.clear();
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

RemoteAnswer FtpRemoteFiles::OutOfStep(const Text& reply) {
  session_.outOfStep = true;
  return {RemoteReply::kServerGone, u"!!--- Reply out of step: " + reply};
}

RemoteAnswer FtpRemoteFiles::SizeBeforeRename(const Text& name, std::int64_t& size) {
  std::vector<BatchReply> replies = std::exchange(behind_, {});
  if (behindName_ != name || replies.size() != 2) replies.clear();
  if (replies.empty() && (server_.pipelining == 0 || !written_ || !session_.storeAhead.empty())) return Size(name, size);
  renameFrom_.clear();
  size = -1;
  // Asked behind the data already, or now.
  session_.sizeFromBehind = !replies.empty();
  if (replies.empty()) replies = ExchangeAll(session_, Connection(), server_, {u"SIZE " + name, u"RNFR " + name}, status_);
  for (const BatchReply& answer : replies) {
    if (!answer.inStep) return OutOfStep(answer.reply);
    if (answer.kind == ReplyClass::kStopped) return {RemoteReply::kStopped, answer.reply};
    if (answer.kind == ReplyClass::kServerGone) return {RemoteReply::kServerGone, answer.reply};
  }
  const Text& sized = replies[0].reply;
  if (replies[1].code == 350) renameFrom_ = name;
  size = SizeReplyValue(sized);
  if (size >= 0) {
    sizeWorked_ = true;
    return {};
  }
  if (replies[0].code == 550) return {RemoteReply::kMissing, sized};
  if (replies[0].code == 500 || replies[0].code == 502) {
    sizeUnsupported_ = true;
    return {RemoteReply::kUnsupported, sized};
  }
  return {RemoteReply::kRefused, sized};
}

RemoteAnswer FtpRemoteFiles::Write(const Text& name, int fd, std::int64_t offset, std::int64_t length,
                                   TransferObserver& observer, ProgressTarget* progress) {
  renameFrom_.clear();
  behind_.clear();
  session_.sizeFromBehind = false;
  written_ = true;
  std::vector<Text> behind;
  if (sizeBehind_) behind = {u"SIZE " + name, u"RNFR " + name};
  StoreResult stored =
      StoreFrom(session_, Connection(), server_, name, fd, offset, length, &observer, progress, status_, behind);
  if (stored.result == 1) {
    behindName_ = name;
    behind_ = std::move(stored.behind);
    return {};
  }
  if (session_.outOfStep) return {RemoteReply::kServerGone, stored.message};
  if (stored.stopped) return {RemoteReply::kStopped, stored.message};
  return {stored.serverGone ? RemoteReply::kServerGone : RemoteReply::kRefused, stored.message};
}

bool FtpRemoteFiles::Settled() {
  if (session_.storeAhead.empty()) return true;
  return SettleStoreAhead(session_, Connection(), server_, status_) == 1;
}

RemoteAnswer FtpRemoteFiles::RenameWithNext(const Text& to) {
  std::vector<Text> commands{u"RNTO " + to};
  // A folder made by a neighbouring session meanwhile refuses the MKD: the
  // CWD decides either way.
  if (!next_.folder.empty() && next_.makeFolder) commands.push_back(u"MKD " + next_.folder);
  if (!next_.folder.empty()) commands.push_back(u"CWD " + next_.folder);
  const std::size_t pasv = commands.size();
  commands.push_back(u"PASV");
  const bool store = !next_.partName.empty();
  if (store) commands.push_back(u"STOR " + next_.partName);
  const std::vector<BatchReply> replies =
      ExchangeAll(session_, Connection(), server_, commands, status_, store ? 1 : 0);
  const BatchReply& renamed = replies[0];
  if (!renamed.inStep) return OutOfStep(renamed.reply);
  if (renamed.kind == ReplyClass::kServerGone || renamed.kind == ReplyClass::kStopped)
    return {session_.StopRequested() ? RemoteReply::kStopped : RemoteReply::kServerGone, renamed.reply};
  bool broken = false;
  for (std::size_t i = 1; i <= pasv && !broken; ++i) {
    const BatchReply& answer = replies[i];
    if (!answer.inStep || answer.kind == ReplyClass::kServerGone || answer.kind == ReplyClass::kStopped) {
      // This file has its answer; the next one starts on a fresh login.
      broken = true;
      if (!answer.inStep) {
        session_.outOfStep = true;
        LogLine(session_, u"!!--- Reply out of step: " + answer.reply, status_);
      }
    }
  }
  if (!broken) {
    nextFolderEntered_ = pasv > 1 && (replies[pasv - 1].code == 250 || replies[pasv - 1].code == 200);
    if (replies[pasv].code == 227) {
      session_.passiveAhead = replies[pasv].reply;
      session_.passiveAheadMs = session_.clock().MonotonicMs();
    }
    // Its answer comes once its data connection is made (or at once, a
    // refusal): the next Write, or a settling, reads it.
    if (store) session_.storeAhead = next_.partName;
  }
  if (renamed.code == 250) return {};
  return {RemoteReply::kRefused, renamed.reply};
}

RemoteAnswer FtpRemoteFiles::Rename(const Text& from, const Text& to) {
  const bool fromAccepted = !renameFrom_.empty() && renameFrom_ == from;
  renameFrom_.clear();
  behind_.clear();
  if (!Settled()) return {RemoteReply::kServerGone, session_.lastReply};
  session_.passiveAhead.clear();
  Text reply;
  RenameAnswer renamed = RenameAnswer::kToRefused;
  if (fromAccepted && passiveAhead_) {
    // The next file's PASV (and perhaps its folder and STOR) go with RNTO:
    // their answers wait for that file.
    const RemoteAnswer answer = RenameWithNext(to);
    if (answer.Done() || answer.reply != RemoteReply::kRefused) return answer;
    reply = answer.message;
  } else {
    renamed = RenameRemote(session_, Connection(), server_, from, to, reply, status_, fromAccepted);
  }
  switch (renamed) {
    case RenameAnswer::kDone:
      return {};
    case RenameAnswer::kServerGone:
      return {session_.StopRequested() ? RemoteReply::kStopped : RemoteReply::kServerGone, reply};
    case RenameAnswer::kFromRefused:
      return {RemoteReply::kRefused, reply};
    case RenameAnswer::kToRefused:
      if (fromAccepted && !ReplyInStep(u"RNTO " + to, reply)) return OutOfStep(reply);
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
  renameFrom_.clear();
  behind_.clear();
  if (!Settled()) return {RemoteReply::kServerGone, session_.lastReply};
  session_.passiveAhead.clear();
  const int deleted = DeleteRemote(session_, Connection(), server_, name, status_);
  if (deleted == 1) return {};
  if (deleted < 0) return {RemoteReply::kServerGone, session_.lastReply};
  return {RemoteReply::kRefused, session_.lastReply};
}

RemoteAnswer FtpRemoteFiles::SetTime(const Text& name, std::int64_t mtimeSeconds) {
  renameFrom_.clear();
  behind_.clear();
  if (!Settled()) return {RemoteReply::kServerGone, session_.lastReply};
  session_.passiveAhead.clear();
  if (features_ == nullptr) return {RemoteReply::kUnsupported, {}};
  return FtpSetTime(session_, Connection(), server_, *features_, name, mtimeSeconds, status_);
}

RemoteAnswer FtpRemoteFiles::Hash(const Text& name, HashKind kind, std::string& hexDigest) {
  renameFrom_.clear();
  behind_.clear();
  if (!Settled()) return {RemoteReply::kServerGone, session_.lastReply};
  session_.passiveAhead.clear();
  if (features_ == nullptr) return {RemoteReply::kUnsupported, {}};
  return FtpHash(session_, Connection(), server_, *features_, name, kind, hexDigest, status_);
}

void FtpRemoteFiles::Note(const Text& line, StatusTarget* status) { LogLine(session_, line, status); }

}  // namespace wexmoor
