// RemoteFiles on an open FTP session, in its current folder: SIZE (or the
// listing where SIZE is refused), STOR / REST + STOR / APPE through the data
// channel, RNFR + RNTO, DELE; HASH (or an X command) and MFMT where FEAT
// lists them.
#pragma once

#include <vector>

#include "ftp/command_batch.h"
#include "ftp/file_proof.h"
#include "ftp/ftp_session.h"
#include "model/server_table.h"
#include "spooler/remote_files.h"

namespace wexmoor {

class FtpRemoteFiles final : public RemoteFiles {
 public:
  // `server` is the record the session logged in with (the engine reads its
  // time-out and modes). `features`: what the login's FEAT offered for
  // proofs (null: nothing).
  FtpRemoteFiles(FtpSession& session, ServerRecord& server, FtpProofFeatures* features = nullptr)
      : session_(session), server_(server), features_(features) {}

  RemoteOffers Offers() const override;
  RemoteAnswer Size(const Text& name, std::int64_t& size) override;
  // With "ServerPipelining" on, after a write: SIZE and RNFR in one write,
  // or the answers they had behind the data (SetSizeBehindData).
  RemoteAnswer SizeBeforeRename(const Text& name, std::int64_t& size) override;
  RemoteAnswer Write(const Text& name, int fd, std::int64_t offset, std::int64_t length, TransferObserver& observer,
                     ProgressTarget* progress) override;
  RemoteAnswer Rename(const Text& from, const Text& to) override;
  RemoteAnswer Remove(const Text& name) override;
  RemoteAnswer SetTime(const Text& name, std::int64_t mtimeSeconds) override;
  RemoteAnswer Hash(const Text& name, HashKind kind, std::string& hexDigest) override;
  void Note(const Text& line, StatusTarget* status) override;

  // Whether the last rename may take the next file's PASV along (nothing
  // else is asked of the server after it, and the next file goes to the same
  // folder in passive mode).
  void SetPassiveAhead(bool on) { passiveAhead_ = on; }
  // What else goes with that PASV for the next file, known to be a fresh
  // part: `folder` (absolute; empty: none) a CWD into its folder, one entered
  // before on this login or (`makeFolder`) made first with MKD where its
  // parent was; `partName` (empty: none) its STOR, whose reply the next
  // Write reads.
  struct NextFile {
    Text folder;
    bool makeFolder = false;
    Text partName;
  };
  void SetNextFile(NextFile next) { next_ = std::move(next); }
  // A Write sends SIZE and RNFR of what it wrote right behind the data (the
  // size check and rename follow every write).
  void SetSizeBehindData(bool on) { sizeBehind_ = on; }
  // The CWD that went with the last rename was answered 250.
  bool NextFolderEntered() const { return nextFolderEntered_; }

  // Where the engine's lines go while a delivery runs.
  void SetStatus(StatusTarget* status) { status_ = status; }

 private:
  int Connection() const { return session_.controlConnection(); }
  // Replies out of step: marked on the session, the server's failure.
  RemoteAnswer OutOfStep(const Text& reply);
  // A STOR sent ahead is settled before any other command (false: the
  // conversation cannot go on).
  bool Settled();
  // RNTO with the next file's commands, when RNFR was answered already.
  RemoteAnswer RenameWithNext(const Text& to);

  FtpSession& session_;
  ServerRecord& server_;
  FtpProofFeatures* features_;
  StatusTarget* status_ = nullptr;
  bool sizeWorked_ = false;       // SIZE answered 213 on this login
  bool sizeUnsupported_ = false;  // SIZE answered as an unknown command
  bool written_ = false;          // a Write went through this object
  bool passiveAhead_ = false;
  NextFile next_;
  bool sizeBehind_ = false;
  Text behindName_;                  // what the last Write sent SIZE and RNFR of
  std::vector<BatchReply> behind_;   // and their answers

  bool nextFolderEntered_ = false;
  Text renameFrom_;               // RNFR of it was answered 350 by the last command sent
};

}  // namespace wexmoor
