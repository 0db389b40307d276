// RemoteFiles on an open SFTP session, in its current folder: STAT, pipelined
// WRITE from an offset, RENAME (posix-rename where offered), REMOVE, SETSTAT.
// Round trips saved: the size of a file just written is asked right behind
// its CLOSE (the next Size of that name takes it), and SETSTAT does not wait
// for its answer (a refusal is only logged anyway).
#pragma once

#include <functional>

#include "sftp/sftp_session.h"
#include "spooler/remote_files.h"

namespace wexmoor {

class SftpRemoteFiles final : public RemoteFiles {
 public:
  using NoteLine = std::function<void(const Text& line, StatusTarget* status)>;
  SftpRemoteFiles(SftpSession& session, std::stop_token stop, NoteLine note)
      : session_(session), stop_(std::move(stop)), note_(std::move(note)) {}

  RemoteOffers Offers() const override;
  RemoteAnswer Size(const Text& name, std::int64_t& size) override;
  RemoteAnswer Write(const Text& name, int fd, std::int64_t offset, std::int64_t length, TransferObserver& observer,
                     ProgressTarget* progress) override;
  RemoteAnswer Rename(const Text& from, const Text& to) override;
  RemoteAnswer Remove(const Text& name) override;
  RemoteAnswer SetTime(const Text& name, std::int64_t mtimeSeconds) override;
  RemoteAnswer Hash(const Text& name, HashKind kind, std::string& hexDigest) override;
  void Note(const Text& line, StatusTarget* status) override;

  // Where the engine's lines go while a delivery runs.
  void SetStatus(StatusTarget* status) { status_ = status; }

 private:
  // The answer for a call that failed: the server's when the session went.
  RemoteAnswer Failed() const;

  SftpSession& session_;
  std::stop_token stop_;
  NoteLine note_;
  StatusTarget* status_ = nullptr;
  // The size asked behind the last Write's CLOSE, for that name (-1: none).
  Text written_;
  std::int64_t writtenSize_ = -1;
};

}  // namespace wexmoor
