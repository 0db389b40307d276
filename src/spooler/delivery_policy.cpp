#include "spooler/delivery_policy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "spooler/delivery_proof.h"

namespace wexmoor {
namespace {

// The local file as a descriptor (or a path) shows it now.
PartRecord StampOf(const struct stat& info) {
  PartRecord stamp;
  stamp.localSize = static_cast<std::int64_t>(info.st_size);
  stamp.localMtime = static_cast<std::int64_t>(info.st_mtim.tv_sec);
  stamp.localMtimeNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  stamp.inode = static_cast<std::uint64_t>(info.st_ino);
  return stamp;
}

bool SameFile(const PartRecord& a, const PartRecord& b) {
  return a.localSize == b.localSize && a.localMtimeNs == b.localMtimeNs && a.inode == b.inode;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The proof's lines into the session's log (and onto the status line), the
// last error line kept for the row's tip.
class NoteTarget final : public StatusTarget {
 public:
  NoteTarget(RemoteFiles& remote, StatusTarget* status) : remote_(remote), status_(status) {}
  void SetStatusText(const Text& line) override {
    if (line.starts_with(u"!!")) lastError = line;
    remote_.Note(line, status_);
  }
  Text lastError;

 private:
  RemoteFiles& remote_;
  StatusTarget* status_;
};

class Attempt {
 public:
  Attempt(RemoteFiles& remote, const DeliveryJob& job, TransferObserver& observer, ProgressTarget* progress,
          StatusTarget* status)
      : remote_(remote), job_(job), observer_(observer), progress_(progress), status_(status) {}

  DeliveryOutcome Run();

 private:
  DeliveryOutcome Failed(DeliveryFailure failure, const Text& message) {
    outcome_.result = -1;
    outcome_.failure = failure;
    outcome_.error = message;
    remote_.Note(message, status_);
    return outcome_;
  }
  DeliveryOutcome FailedBy(const RemoteAnswer& answer, const Text& message) {
    switch (answer.reply) {
      case RemoteReply::kServerGone:
      case RemoteReply::kStopped:
        return Failed(DeliveryFailure::kServerGone, message);
      default:
        return Failed(DeliveryFailure::kTransfer, message);
    }
  }
  DeliveryOutcome Delivered() {
    outcome_.result = 1;
    outcome_.failure = DeliveryFailure::kNone;
    ForgetPart();
    return outcome_;
  }
  void ForgetPart() {
    if (part_ != nullptr) *part_ = PartRecord{};
  }
  void Tell(const PartRecord& part) {
    if (part_ != nullptr) *part_ = part;
    if (job_.partBegun) job_.partBegun(part);
  }
  // The final file proved to hold the bytes sent (where the server can tell)
  // and given the local file's time; a mismatch drops the part.
  DeliveryOutcome Proved(const Text& finalName, std::int64_t localMtime);
  // The local file still the one this attempt began with.
  bool LocalUnchanged(int fd) const;
  // The part record names this entry, this path and this very file.
  bool OwnsPart(const PartRecord& stamp) const;
  // The part renamed onto the final name; a final name that exists is moved
  // aside first and removed only once the part has its place.
  RemoteAnswer RenameIntoPlace(const Text& partName, const Text& token);

  RemoteFiles& remote_;
  const DeliveryJob& job_;
  TransferObserver& observer_;
  ProgressTarget* progress_;
  StatusTarget* status_;
  PartRecord* part_ = job_.part;
  DeliveryOutcome outcome_;
};

bool Attempt::LocalUnchanged(int fd) const {
  struct stat now {};
  struct stat there {};
  if (::fstat(fd, &now) != 0) return false;
  // A file replaced at its path (saved as a new file) is another file.
  if (::stat(PathToNative(job_.localPath).c_str(), &there) != 0 || there.st_ino != now.st_ino) return false;
  return SameFile(StampOf(now), outcome_.sentStamp);
}

bool Attempt::OwnsPart(const PartRecord& stamp) const {
  if (part_ == nullptr || !part_->Begun() || part_->token.empty()) return false;
  const Text path = job_.remotePath.empty() ? job_.remoteName : job_.remotePath;
  return part_->remotePath == path && SameFile(*part_, stamp);
}

RemoteAnswer Attempt::RenameIntoPlace(const Text& partName, const Text& token) {
  const Text& finalName = job_.remoteName;
  RemoteAnswer answer = remote_.Rename(partName, finalName);
  if (answer.reply != RemoteReply::kExists) return answer;
  // The server keeps the old file under the final name: it stays whole until
  // the new one has its place.
  const Text aside = finalName + u"." + token + u".old";
  RemoteAnswer moved = remote_.Rename(finalName, aside);
  if (!moved.Done()) return moved.reply == RemoteReply::kExists ? RemoteAnswer{RemoteReply::kRefused, moved.message} : moved;
  answer = remote_.Rename(partName, finalName);
  if (!answer.Done()) {
    // Put the old file back where it was.
    remote_.Rename(aside, finalName);
    if (answer.reply == RemoteReply::kExists) answer.reply = RemoteReply::kRefused;
    return answer;
  }
  if (!remote_.Remove(aside).Done()) remote_.Note(u"----- The old \"" + finalName + u"\" stays as \"" + aside + u"\"", status_);
  return answer;
}

DeliveryOutcome Attempt::Run() {
  // The local file first: a problem here needs nothing from the server.
  const Descriptor file(::open(PathToNative(job_.localPath).c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
    return Failed(DeliveryFailure::kLocalFile, u"!!--- Unable to open \"" + job_.localPath + u"\"");
  const PartRecord stamp = StampOf(info);
  outcome_.sentStamp = stamp;
  const std::int64_t size = stamp.localSize;
  const RemoteOffers offers = remote_.Offers();
  const Text& finalName = job_.remoteName;
  const Text partName = PartName(finalName);
  const Text& target = job_.usePart ? partName : finalName;

  // Continue only a part this entry began at this path from this very file.
  std::int64_t offset = 0;
  const bool owned = job_.usePart && OwnsPart(stamp);
  if (owned) {
    std::int64_t had = -1;
    const RemoteAnswer partSize = remote_.Size(partName, had);
    if (partSize.reply == RemoteReply::kServerGone || partSize.reply == RemoteReply::kStopped)
      return FailedBy(partSize, u"!!--- Connection lost");
    if (partSize.reply == RemoteReply::kMissing && part_->renameIssued) {
      // The rename was sent, and its answer lost: the final name holds this
      // file when its size is right.
      std::int64_t there = -1;
      const RemoteAnswer finalSize = remote_.Size(finalName, there);
      if (finalSize.reply == RemoteReply::kServerGone || finalSize.reply == RemoteReply::kStopped)
        return FailedBy(finalSize, u"!!--- Connection lost");
      if (finalSize.Done() && there == size) {
        remote_.Note(u"----- \"" + finalName + u"\" was delivered before", status_);
        // The digest of what was sent went with the attempt that sent it; the
        // local file, the part's very file still (inode, size, time), gives
        // it again: one read, as a resumed part's bytes are read.
        if (job_.digest != nullptr && !job_.digest->Restart(file.get(), size))
          return Failed(DeliveryFailure::kLocalFile, u"!!--- Unable to read \"" + job_.localPath + u"\"");
        return Proved(finalName, stamp.localMtime);
      }
    }
    if (partSize.Done() && had > 0 && had <= size && offers.resume) offset = std::max<std::int64_t>(0, had - offers.resumeBelow);
  }
  PartRecord mine = stamp;
  mine.token = owned ? part_->token : NewPartToken();
  mine.remotePath = job_.remotePath.empty() ? job_.remoteName : job_.remotePath;
  if (job_.usePart) Tell(mine);
  else ForgetPart();
  if (offset > 0) remote_.Note(u"----- Resuming at " + IntToText(offset) + u" of " + IntToText(size), status_);

  // The digest covers the whole file: the bytes of a resumed part are read
  // into it first.
  if (job_.digest != nullptr && !job_.digest->Restart(file.get(), offset))
    return Failed(DeliveryFailure::kLocalFile, u"!!--- Unable to read \"" + job_.localPath + u"\"");

  if (offset < size || size == 0 || !owned) {
    const RemoteAnswer written = remote_.Write(target, file.get(), offset, size - offset, observer_, progress_);
    outcome_.resumedFrom = offset;
    if (!written.Done()) {
      const Text message = written.message.empty() ? Text(u"!!--- Upload refused") : written.message;
      if (written.reply == RemoteReply::kStopped) return Failed(DeliveryFailure::kTransfer, message);
      return FailedBy(written, message);
    }
    outcome_.bytesSent = size - offset;
  }

  // The bytes sent must be the file's as it is now.
  if (!LocalUnchanged(file.get())) {
    ForgetPart();
    if (job_.partBegun) job_.partBegun(PartRecord{});
    return Failed(DeliveryFailure::kLocalChanged,
                  u"!!--- \"" + job_.localPath + u"\" changed during its upload: it is sent again");
  }

  // The server must hold exactly the local file's bytes.
  std::int64_t remoteSize = -1;
  const RemoteAnswer sized =
      job_.usePart ? remote_.SizeBeforeRename(target, remoteSize) : remote_.Size(target, remoteSize);
  if (sized.Done()) {
    if (remoteSize != size) {
      ForgetPart();
      if (job_.partBegun) job_.partBegun(PartRecord{});
      return Failed(DeliveryFailure::kVerify, u"!!--- Size on the server " + IntToText(remoteSize) +
                                                  u" differs from " + IntToText(size));
    }
  } else if (sized.reply != RemoteReply::kUnsupported || remote_.Offers().sizeCommand) {
    // Only a server that never tells sizes leaves the size unknown.
    return FailedBy(sized, u"!!--- Size of \"" + target + u"\" not known after the transfer" +
                               (sized.message.empty() ? Text() : u": " + sized.message));
  }

  if (job_.usePart) {
    mine.renameIssued = true;
    Tell(mine);
    const RemoteAnswer renamed = RenameIntoPlace(partName, mine.token);
    if (!renamed.Done())
      return FailedBy(renamed, u"!!--- Rename to \"" + finalName + u"\" refused" +
                                   (renamed.message.empty() ? Text() : u": " + renamed.message));
  }

  return Proved(finalName, stamp.localMtime);
}

DeliveryOutcome Attempt::Proved(const Text& finalName, std::int64_t localMtime) {
  // The final file must hold the bytes sent, where the server can tell.
  NoteTarget notes(remote_, status_);
  const DeliveryProof proof = ProveDelivery(remote_, finalName, job_.digest, &notes);
  switch (proof.outcome) {
    case ProofOutcome::kMismatch:
      // Sent again from 0.
      ForgetPart();
      if (job_.partBegun) job_.partBegun(PartRecord{});
      outcome_.result = -1;
      outcome_.failure = DeliveryFailure::kVerify;
      outcome_.error = notes.lastError.empty() ? u"!!--- " + proof.message : notes.lastError;
      return outcome_;
    case ProofOutcome::kServerGone:
    case ProofOutcome::kStopped:
      return Failed(DeliveryFailure::kServerGone,
                    u"!!--- Connection lost" + (proof.message.empty() ? Text() : u": " + proof.message));
    case ProofOutcome::kMatched:
    case ProofOutcome::kSizeOnly:
      break;
  }
  outcome_.verification = proof.verification;
  SetDeliveredTime(remote_, finalName, localMtime, &notes);
  return Delivered();
}

}  // namespace

Text DeliveryPath(const Text& serverName, const Text& folderPath, const Text& remoteName) {
  Text path = serverName + u"|" + folderPath;
  if (!path.empty() && path.back() != u'/' && path.back() != u'|') path += u'/';
  return path + remoteName;
}

DeliveryOutcome DeliverWithPolicy(RemoteFiles& remote, const DeliveryJob& job, TransferObserver* observer,
                                  ProgressTarget* progress, StatusTarget* status) {
  TransferObserver none;
  Attempt attempt(remote, job, observer != nullptr ? *observer : none, progress, status);
  return attempt.Run();
}

}  // namespace wexmoor
