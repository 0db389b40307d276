// The WebDAV upload session: one client (one kept libcurl handle) per
// session. Open checks the login folder with PROPFIND (the certificate is
// checked first, nothing of the login goes before); each entry's folder is
// made with MKCOL where missing; the file goes through the delivery policy
// over WebDavRemoteFiles. Where the server refuses MOVE, files go under
// their final names from then on.
#pragma once

#include <optional>
#include <string>

#include "ftp/ftp_session.h"
#include "spooler/upload_session.h"
#include "spooler/webdav_trust.h"
#include "spooler/webdav_remote_files.h"
#include "webdav/dav_client.h"

namespace wexmoor {

class WebDavUploadSession final : public UploadSession {
 public:
  // `lastProgressTime` follows every block sent; `trustAsker` (optional)
  // hears of certificates not trusted yet.
  WebDavUploadSession(const Clock& clock, std::atomic<std::int64_t>& lastProgressTime,
                      CertificateTrustAsker* trustAsker);

  void SetStopToken(std::stop_token stop) override;
  bool IsOpen() const override { return open_; }
  SessionOpening Open(const ServerRecord& server, StatusTarget* status) override;
  EntryOutcome Upload(const Text& localPath, const Text& folderPath, ProgressTarget* progress,
                      StatusTarget* status) override;
  void UsePart(PartRecord* part, std::function<void(const PartRecord&)> begun = {}) override {
    part_ = part;
    partBegun_ = std::move(begun);
  }
  void SetTransferObserver(TransferObserver* observer) override { observer_ = observer; }
  PartRecord LastStamp() const override { return lastStamp_; }
  DeliveryFailure LastFailure() const override { return lastFailure_; }
  Text LastError() const override { return lastError_; }
  void Close(StatusTarget* status) override;
  Text TakeLog() override;

  DavClient& client() { return client_; }

 private:
  // Makes `folder` and what is missing above it; nothing when it fails.
  std::optional<DavAnswer> MakeFolder(const std::string& folder, int depth);
  // Whether `folder` exists as a folder (PROPFIND, depth 0).
  bool FolderIsThere(const std::string& folder);
  void Note(const Text& line, StatusTarget* status);
  EntryOutcome Failed(DeliveryFailure failure, const Text& error, StatusTarget* status);

  const Clock& clock_;
  CertificateTrustAsker* trustAsker_;
  std::stop_token stop_;
  DavClient client_;
  WebDavRemoteFiles remote_;
  ServerRecord record_;
  bool open_ = false;
  bool moveRefused_ = false;  // the server answered MOVE with 405/501
  std::string currentFolder_;  // made or seen on this login
  PartRecord* part_ = nullptr;
  std::function<void(const PartRecord&)> partBegun_;
  TransferObserver* observer_ = nullptr;
  PartRecord lastStamp_;
  DeliveryFailure lastFailure_ = DeliveryFailure::kNone;
  Text lastError_;
};

}  // namespace wexmoor
