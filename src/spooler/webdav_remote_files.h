// The remote-file operations of the delivery policy over WebDAV, in one
// folder of the server: Size is PROPFIND (Depth 0), Write a PUT of the whole
// file with its length (never a continued one), Rename a MOVE that replaces,
// Remove a DELETE, and the modification time goes with the PUT as
// "X-OC-Mtime" where the server says it took it.
#pragma once

#include <string>

#include "spooler/remote_files.h"
#include "webdav/dav_client.h"

namespace wexmoor {

// How an HTTP answer reads for the policy.
RemoteAnswer DavRemoteAnswer(const DavAnswer& answer);

class WebDavRemoteFiles final : public RemoteFiles {
 public:
  explicit WebDavRemoteFiles(DavClient& client) : client_(client) {}

  // The folder the names are in: absolute, UTF-8, ending with "/".
  void SetFolder(std::string folder) { folder_ = std::move(folder); }
  const std::string& folder() const { return folder_; }
  // Where the Kb/s line and the progress text go during Write (null: nowhere).
  void SetStatus(StatusTarget* status) { status_ = status; }

  // Whether a Rename was answered "not supported" since the last clear.
  bool RenameRefused() const { return renameRefused_; }
  void ClearRenameRefused() { renameRefused_ = false; }

  RemoteOffers Offers() const override;
  RemoteAnswer Size(const Text& name, std::int64_t& size) override;
  RemoteAnswer Write(const Text& name, int fd, std::int64_t offset, std::int64_t length, TransferObserver& observer,
                     ProgressTarget* progress) override;
  RemoteAnswer Rename(const Text& from, const Text& to) override;
  RemoteAnswer Remove(const Text& name) override;
  RemoteAnswer SetTime(const Text& name, std::int64_t mtimeSeconds) override;
  RemoteAnswer Hash(const Text& name, HashKind kind, std::string& hexDigest) override;

 private:
  std::string PathOf(const Text& name) const;

  DavClient& client_;
  std::string folder_ = "/";
  StatusTarget* status_ = nullptr;
  bool renameRefused_ = false;
  bool mtimeAccepted_ = false;  // the server took "X-OC-Mtime" once
  // The path the last PUT's time was taken for (followed through a MOVE).
  std::string timedPath_;
  std::int64_t timedMtime_ = -1;
};

}  // namespace wexmoor
