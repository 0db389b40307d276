// The FTP upload session: logs in once, changes folder only when an entry's
// destination differs from the current one (one CWD to the absolute folder
// when the login folder is known, else a walk from the login folder making
// what is missing), and sends PASV or PORT and STOR per file.
//
// Files overlap on passive sessions with temporary names: the rename
// of a file takes the next entry's PASV along (ExpectNext), and for a small
// fresh part also its STOR, after a CWD where it goes to another folder (and
// an MKD first where that folder is new and its parent known to exist); its
// bytes then go as soon as the address is known.
// A STOR sent ahead and not taken is settled: an empty transfer, deleted.
#pragma once

#include <optional>
#include <vector>

#include "ftp/file_proof.h"

#include "ftp/ftp_session.h"
#include "ftp/part_upload.h"
#include "spooler/ftp_remote_files.h"
#include "spooler/upload_session.h"

namespace wexmoor {

class FtpUploadSession final : public UploadSession {
 public:
  // `lastProgressTime` follows every block sent.
  FtpUploadSession(const Clock& clock, ListenerPortSequence& ports, std::atomic<std::int64_t>& lastProgressTime,
                   const Text& ipEchoUrl);
  ~FtpUploadSession() override;

  void SetStopToken(std::stop_token stop) override { session_.SetStopToken(std::move(stop)); }
  bool IsOpen() const override { return session_.controlConnection() != 0; }
  SessionOpening Open(const ServerRecord& server, StatusTarget* status) override;
  EntryOutcome Upload(const Text& localPath, const Text& folderPath, ProgressTarget* progress,
                      StatusTarget* status) override;
  void UsePart(PartRecord* part, std::function<void(const PartRecord&)> begun = {}) override {
    part_ = part;
    partBegun_ = std::move(begun);
  }
  void SetTransferObserver(TransferObserver* observer) override { observer_ = observer; }
  // Files up to this size overlap with the next entry's (STOR sent ahead).
  static constexpr std::int64_t kStoreAheadBytes = 128 * 1024;
  std::int64_t OverlapBytes() const override {
    return record_.pipelining != 0 && record_.active == 0 && record_.tempName != 0 ? kStoreAheadBytes : 0;
  }
  void ExpectNext(std::optional<ExpectedEntry> next) override { expected_ = std::move(next); }
  DeliveryFailure LastFailure() const override { return lastFailure_; }
  PartRecord LastStamp() const override { return lastStamp_; }
  Text LastError() const override { return lastError_; }
  Text LastVerification() const override { return lastVerification_; }
  void Close(StatusTarget* status) override;
  Text TakeLog() override;

  FtpSession& session() { return session_; }

 private:
  // The entry's delivery in `folderPath`, entered first where it is not the
  // current folder (result -1 when that failed).
  DeliveryOutcome Deliver(const Text& localPath, const Text& folderPath, ProgressTarget* progress,
                          StatusTarget* status);
  // Makes `folderPath` the current folder; false (logged) when it failed.
  bool EnterFolder(const Text& folderPath, StatusTarget* status);
  // The walk from the current folder down `folderPath`, making missing folders.
  bool WalkDown(const Text& folderPath, StatusTarget* status);
  // The absolute login folder, asked once with PWD; empty when unknown.
  const Text& LoginFolder(StatusTarget* status);
  // Whether `folderPath` was entered on this login, or is a parent of one.
  bool KnownFolder(const Text& folderPath) const;
  // The absolute form of `folderPath` below the known login folder.
  Text AbsoluteFolder(const Text& folderPath) const;
  // What goes to the server for the next entry with this file's rename.
  FtpRemoteFiles::NextFile NextFileCommands(const ExpectedEntry& next, const Text& folderPath) const;

  FtpSession session_;
  ServerRecord record_;  // host only in its address
  Text currentFolder_;   // below the login folder, "a/b/" form
  Text loginFolder_;
  bool loginFolderAsked_ = false;
  int entries_ = 0;  // entries begun on this login
  std::vector<Text> enteredFolders_;  // folder paths entered on this login
  std::optional<ExpectedEntry> expected_;
  PartRecord* part_ = nullptr;
  std::function<void(const PartRecord&)> partBegun_;
  TransferObserver* observer_ = nullptr;
  PartRecord lastStamp_;
  DeliveryFailure lastFailure_ = DeliveryFailure::kNone;
  Text lastError_;
  Text lastVerification_;
  FtpProofFeatures proof_;  // what this login's FEAT offered for proofs
  // Servers (by name) spoken to one command at a time since they answered
  // out of step.
  std::vector<Text> oneAtATime_;
  // Servers (by name) that answered what went behind a transfer's data
  // before its end (or whose greeting shows they would).
  std::vector<Text> noneBehind_;
};

}  // namespace wexmoor
