#include "spooler/webdav_upload_session.h"

#include "ftp/certificate_check.h"
#include "ftp/file_upload.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "spooler/delivery_policy.h"
#include "webdav/dav_listing.h"

namespace wexmoor {
namespace {

constexpr int kMaxFolderDepth = 64;

std::string ParentFolder(const std::string& folder) {
  std::string parent = folder;
  if (!parent.empty() && parent.back() == '/') parent.pop_back();
  const std::size_t slash = parent.rfind('/');
  return slash == std::string::npos ? std::string("/") : parent.substr(0, slash + 1);
}

Text Stamped(const Clock& clock, const Text& line) {
  Text stamped = AsciiToText(FormatClockTime(clock.Local()));
  stamped += u": ";
  stamped += line;
  return stamped;
}

}  // namespace

WebDavUploadSession::WebDavUploadSession(const Clock& clock, std::atomic<std::int64_t>& lastProgressTime,
                                         CertificateTrustAsker* trustAsker)
    : clock_(clock), trustAsker_(trustAsker), client_(clock, lastProgressTime), remote_(client_) {
  client_.SetTrustCheck([this](const DavCertificate& certificate) {
    return DavCertificateTrusted(certificate, record_, trustAsker_, client_.Log(), clock_);
  });
}

void WebDavUploadSession::SetStopToken(std::stop_token stop) {
  stop_ = stop;
  client_.SetStopToken(std::move(stop));
}

void WebDavUploadSession::Note(const Text& line, StatusTarget* status) {
  const Text stamped = Stamped(clock_, line);
  if (status != nullptr) status->SetStatusText(stamped);
  client_.Log().Append(stamped);
}

SessionOpening WebDavUploadSession::Open(const ServerRecord& server, StatusTarget* status) {
  if (open_) return SessionOpening::kOpen;
  record_ = server;
  currentFolder_.clear();
  const DavEndpoint endpoint = DavEndpointFor(server);
  client_.Configure(endpoint, Utf16ToUtf8(server.login), Utf16ToUtf8(server.password), server.timeOut);
  Note(u"----- " + Utf8ToUtf16(endpoint.Url(endpoint.basePath)), status);
  if (!endpoint.tls && !IsLocalNetworkHost(endpoint.host) && !server.password.empty()) {
    Note(u"----- Plain HTTP: the password is never sent by Basic authentication", status);
  }
  const DavAnswer answer = client_.Propfind(endpoint.basePath, 0);
  if (answer.failure == DavFailure::kStopped) {
    client_.Close();
    return SessionOpening::kFailed;
  }
  // The login folder may be missing still: Upload makes it.
  if (answer.Success() || answer.status == 404) {
    open_ = true;
    return SessionOpening::kOpen;
  }
  client_.Close();
  if (answer.status == 401 || answer.status == 403) {
    Note(u"!!Impossible to initialise connection (perhaps a login, or password problem...)!!", status);
    return SessionOpening::kFailed;
  }
  if (answer.status == 503) {
    Note(u"!!--- " + Utf8ToUtf16(answer.Describe()), status);
    return SessionOpening::kRefused;  // at its limit
  }
  if (answer.failure == DavFailure::kUntrusted) return SessionOpening::kUntrusted;  // said in Trust
  if (answer.failure == DavFailure::kConnection) {
    Note(u"!!Impossible to initialise connection (perhaps an adress problem...)!!", status);
  }
  Note(u"!!--- " + Utf8ToUtf16(answer.Describe()), status);
  return SessionOpening::kFailed;
}

std::optional<DavAnswer> WebDavUploadSession::MakeFolder(const std::string& folder, int depth) {
  if (folder == "/") return std::nullopt;
  DavAnswer answer = client_.Mkcol(folder);
  // 405: it exists (perhaps made by a neighbouring session just now).
  if (answer.Success() || answer.status == 405) return std::nullopt;
  if ((answer.status == 409 || answer.status == 404) && depth < kMaxFolderDepth) {
    if (auto failed = MakeFolder(ParentFolder(folder), depth + 1)) return failed;
    answer = client_.Mkcol(folder);
    if (answer.Success() || answer.status == 405) return std::nullopt;
  }
  // Refused otherwise: Apache answers 403 when a neighbouring session made
  // the folder between its look and its own attempt. There now: fine.
  if (answer.failure == DavFailure::kNone && FolderIsThere(folder)) return std::nullopt;
  return answer;
}

bool WebDavUploadSession::FolderIsThere(const std::string& folder) {
  const DavAnswer answer = client_.Propfind(folder, 0);
  if (answer.status != 207) return false;
  const std::optional<DavListing> listing = ParseMultistatus(answer.body);
  return listing && !listing->entries.empty() && listing->entries.front().found && listing->entries.front().folder;
}

EntryOutcome WebDavUploadSession::Failed(DeliveryFailure failure, const Text& error, StatusTarget* status) {
  lastFailure_ = failure;
  lastError_ = error;
  if (!error.empty()) Note(error, status);
  if (stop_.stop_requested()) {
    client_.Close();
    open_ = false;
    return EntryOutcome::kStopped;
  }
  Close(status);
  return EntryOutcome::kFailed;
}

EntryOutcome WebDavUploadSession::Upload(const Text& localPath, const Text& folderPath, ProgressTarget* progress,
                                         StatusTarget* status) {
  if (!open_) return EntryOutcome::kFailed;
  lastFailure_ = DeliveryFailure::kTransfer;
  lastError_.clear();
  // The local file first: a problem here needs nothing from the server.
  if (FileSize(localPath) < 0 || !FileModificationTime(localPath) || !IsRegularFile(localPath)) {
    return Failed(DeliveryFailure::kLocalFile, u"!!--- Unable to open \"" + localPath + u"\"", status);
  }
  // The entry's folder path holds the address's folders too; over WebDAV
  // every path starts at the server's root.
  const std::string relative = Utf16ToUtf8(folderPath);
  const std::string folder = !relative.empty() && relative.front() == '/' ? relative : "/" + relative;
  if (folder != currentFolder_) {
    if (const auto failed = MakeFolder(folder, 0)) {
      const RemoteAnswer answer = DavRemoteAnswer(*failed);
      const DeliveryFailure kind =
          answer.reply == RemoteReply::kServerGone ? DeliveryFailure::kServerGone : DeliveryFailure::kTransfer;
      return Failed(kind, u"!!--- Folder \"" + Utf8ToUtf16(folder) + u"\": " + answer.message, status);
    }
    currentFolder_ = folder;
  }
  remote_.SetFolder(folder);
  remote_.SetStatus(status);
  for (;;) {
    DeliveryJob job;
    job.localPath = localPath;
    job.remoteName = RemoteFileName(localPath);
    job.usePart = record_.tempName != 0 && !moveRefused_;
    job.part = part_;
    job.remotePath = DeliveryPath(record_.name, folderPath, job.remoteName);
    job.partBegun = partBegun_;
    remote_.ClearRenameRefused();
    const DeliveryOutcome outcome = DeliverWithPolicy(remote_, job, observer_, progress, status);
    lastStamp_ = outcome.sentStamp;
    if (outcome.result == 1) {
      lastFailure_ = DeliveryFailure::kNone;
      return EntryOutcome::kSent;
    }
    if (job.usePart && remote_.RenameRefused() && !stop_.stop_requested()) {
      // As "ServerTempName<n> = 0" does: the final name directly.
      moveRefused_ = true;
      Note(u"----- The server refuses MOVE: files go under their final names", status);
      continue;
    }
    return Failed(outcome.failure == DeliveryFailure::kNone ? DeliveryFailure::kTransfer : outcome.failure,
                  outcome.error, status);
  }
}

void WebDavUploadSession::Close(StatusTarget* status) {
  (void)status;
  client_.Close();
  open_ = false;
  currentFolder_.clear();
}

Text WebDavUploadSession::TakeLog() {
  Text log = client_.Log().Get();
  client_.Log().Clear();
  return log;
}

}  // namespace wexmoor
