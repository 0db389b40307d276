// The SFTP upload session: logs in once (host key checked first), enters an
// entry's folder only when it differs from the current one (making what is
// missing), and writes each file under its temporary name, checks its size
// and renames it, continuing a part begun before from the same local file.
//
// Files overlap: with temporary names, the OPEN of the next entry's part
// (ExpectNext) goes out while the current file is written, sized and
// renamed, so its handle is there when its turn comes (files up to
// kOverlapBytes). Only a fresh part in the same folder is opened ahead; what
// was opened and not taken is closed and removed. A refusal of the early
// OPEN fails only the entry it was for.
#pragma once

#include <optional>
#include <string>

#include "sftp/sftp_session.h"
#include "spooler/upload_session.h"

namespace wexmoor {

// What the composition root hands every SFTP session: the user's ~/.ssh
// folder and agent socket (empty: none), and where unknown host keys are
// reported (null: nowhere).
struct SftpSettings {
  std::string sshFolder;
  std::string agentSocket;
  HostKeyTrustAsker* trustAsker = nullptr;
};

class SftpUploadSession final : public UploadSession {
 public:
  // `lastProgressTime` follows every block acknowledged.
  SftpUploadSession(const Clock& clock, std::atomic<std::int64_t>& lastProgressTime, SftpSettings settings);
  ~SftpUploadSession() override;

  void SetStopToken(std::stop_token stop) override;
  bool IsOpen() const override { return session_.Connected(); }
  SessionOpening Open(const ServerRecord& server, StatusTarget* status) override;
  EntryOutcome Upload(const Text& localPath, const Text& folderPath, ProgressTarget* progress,
                      StatusTarget* status) override;
  void UsePart(PartRecord* part, std::function<void(const PartRecord&)> begun = {}) override {
    part_ = part;
    partBegun_ = std::move(begun);
  }
  void SetTransferObserver(TransferObserver* observer) override { observer_ = observer; }
  // Files up to this size overlap (with temporary names only).
  static constexpr std::int64_t kOverlapBytes = 1 << 20;
  std::int64_t OverlapBytes() const override { return record_.tempName != 0 ? kOverlapBytes : 0; }
  void ExpectNext(std::optional<ExpectedEntry> next) override { expected_ = std::move(next); }
  DeliveryFailure LastFailure() const override { return lastFailure_; }
  PartRecord LastStamp() const override { return lastStamp_; }
  Text LastError() const override { return lastError_; }
  Text LastVerification() const override { return lastVerification_; }
  void Close(StatusTarget* status) override;
  Text TakeLog() override;

  SftpSession& session() { return session_; }

 private:
  // Sends the OPEN of the expected entry's part ahead where it may.
  void OpenExpectedAhead(StatusTarget* status);
  // The delivery of one readable local file into the current folder.
  EntryOutcome Deliver(const Text& localPath, const Text& folderPath, ProgressTarget* progress, StatusTarget* status);
  // A line of this session's own in the log, with the time.
  void Note(const Text& line, StatusTarget* status);
  // `error` is noted in the log; `logged` is an error line logged already.
  EntryOutcome Failed(DeliveryFailure failure, const Text& error, StatusTarget* status, const Text& logged = {});
  // kServerGone when the connection went with the failure, else `otherwise`.
  DeliveryFailure FailureKind(DeliveryFailure otherwise) const;

  const Clock& clock_;
  SftpSettings settings_;
  std::stop_token stop_;
  SftpSession session_;
  ServerRecord record_;
  std::string loginFolder_;  // absolute, UTF-8
  Text currentFolder_;       // the entry folder path last entered
  bool folderEntered_ = false;
  int entries_ = 0;  // entries begun on this login
  PartRecord* part_ = nullptr;
  std::function<void(const PartRecord&)> partBegun_;
  TransferObserver* observer_ = nullptr;
  std::optional<ExpectedEntry> expected_;
  PartRecord lastStamp_;
  DeliveryFailure lastFailure_ = DeliveryFailure::kNone;
  Text lastError_;
  Text lastVerification_;
};

}  // namespace wexmoor
