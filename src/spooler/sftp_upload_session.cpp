#include "spooler/sftp_upload_session.h"

#include "ftp/file_upload.h"
#include "ftp/part_upload.h"
#include "spooler/delivery_policy.h"
#include "spooler/delivery_proof.h"
#include "spooler/sent_digest.h"
#include "spooler/sftp_remote_files.h"
#include "platform/code_page.h"
#include "platform/files.h"

#include <optional>

namespace wexmoor {
namespace {

// The last error line of a log ("!!" after the time), without the time.
Text LastErrorLine(const Text& log) {
  std::size_t end = log.size();
  while (end > 0) {
    std::size_t start = log.rfind(u'\n', end - 1);
    start = start == Text::npos ? 0 : start + 1;
    Text line = log.substr(start, end - start);
    while (!line.empty() && (line.back() == u'\r' || line.back() == u'\n')) line.pop_back();
    if (const std::size_t mark = line.find(u"!!"); mark != Text::npos) return line.substr(mark);
    end = start == 0 ? 0 : start - 1;
  }
  return {};
}

// A host key not trusted yet is reported without waiting; the session
// refuses it.
class ReportingTrust {
 public:
  ReportingTrust(HostKeyTrustAsker* asker, Text serverName) : asker_(asker), serverName_(std::move(serverName)) {}
  bool operator()(const HostKeyQuestion& question) const {
    if (asker_ != nullptr) asker_->AskHostKeyTrust(serverName_, question);
    return false;
  }

 private:
  HostKeyTrustAsker* asker_;
  Text serverName_;
};

}  // namespace

SftpUploadSession::SftpUploadSession(const Clock& clock, std::atomic<std::int64_t>& lastProgressTime,
                                     SftpSettings settings)
    : clock_(clock), settings_(std::move(settings)), session_(clock, lastProgressTime) {}

SftpUploadSession::~SftpUploadSession() { session_.Drop(); }

void SftpUploadSession::SetStopToken(std::stop_token stop) {
  stop_ = stop;
  session_.SetStopToken(std::move(stop));
}

SessionOpening SftpUploadSession::Open(const ServerRecord& server, StatusTarget* status) {
  if (IsOpen()) return SessionOpening::kOpen;
  record_ = server;
  folderEntered_ = false;
  currentFolder_.clear();
  entries_ = 0;
  const SftpTarget target = SftpTargetFor(server, server.fingerprint, settings_.sshFolder, settings_.agentSocket);
  session_.SetTrustWindow(ReportingTrust(settings_.trustAsker, server.name));
  if (session_.Connect(target.login, status) == 1) {
    loginFolder_ = session_.CurrentFolder();
    return SessionOpening::kOpen;
  }
  switch (session_.ConnectFailure()) {
    case SftpConnectFailure::kNoConnection:
      Note(u"!!Impossible to initialise connection (perhaps an adress problem...)!!", status);
      return SessionOpening::kFailed;
    case SftpConnectFailure::kLogin:
      Note(u"!!Impossible to initialise connection (perhaps a login, or password problem...)!!", status);
      return SessionOpening::kRefused;
    case SftpConnectFailure::kHostKeyUnknown:
    case SftpConnectFailure::kHostKeyChanged:
      return SessionOpening::kUntrusted;
    case SftpConnectFailure::kHandshake:
      // Also what a server at its limit of connections does: it closes
      // before the handshake ends.
      return SessionOpening::kRefused;
    default:
      return SessionOpening::kFailed;
  }
}

void SftpUploadSession::Note(const Text& line, StatusTarget* status) {
  Text stamped = AsciiToText(FormatClockTime(clock_.Local()));
  stamped += u": ";
  stamped += line;
  if (status != nullptr) status->SetStatusText(stamped);
  session_.Log().Append(stamped);
}

DeliveryFailure SftpUploadSession::FailureKind(DeliveryFailure otherwise) const {
  return session_.Connected() ? otherwise : DeliveryFailure::kServerGone;
}

EntryOutcome SftpUploadSession::Failed(DeliveryFailure failure, const Text& error, StatusTarget* status,
                                       const Text& logged) {
  lastFailure_ = failure;
  lastError_ = !error.empty() ? error : !logged.empty() ? logged : LastErrorLine(session_.Log().Get());
  if (!error.empty()) Note(error, status);
  if (stop_.stop_requested()) {
    session_.Drop();
    return EntryOutcome::kStopped;
  }
  Close(status);
  return EntryOutcome::kFailed;
}

EntryOutcome SftpUploadSession::Upload(const Text& localPath, const Text& folderPath, ProgressTarget* progress,
                                       StatusTarget* status) {
  if (!IsOpen()) return EntryOutcome::kFailed;
  lastFailure_ = DeliveryFailure::kTransfer;
  lastError_.clear();
  lastVerification_.clear();
  if (entries_++ > 0 && !session_.Alive()) {
    // The server ended the kept session while it waited.
    Close(status);
    return stop_.stop_requested() ? EntryOutcome::kStopped : EntryOutcome::kDead;
  }

  // An OPEN sent ahead for another file than this one goes.
  const std::string mine = JoinRemotePath(JoinRemotePath(loginFolder_, Utf16ToUtf8(folderPath)),
                                          Utf16ToUtf8(PartName(RemoteFileName(localPath))));
  for (const std::string& ahead : session_.OpenAheadPaths()) {
    if (ahead != mine) session_.AbandonOpenAhead(ahead, status);
  }

  // The local file first: a problem here needs nothing from the server.
  if (!IsRegularFile(localPath)) {
    return Failed(DeliveryFailure::kLocalFile, u"!!--- Unable to open \"" + localPath + u"\"", status);
  }
  if (!folderEntered_ || folderPath != currentFolder_) {
    // Relative folders are below the login folder, whatever was entered last.
    const std::string absolute = JoinRemotePath(loginFolder_, Utf16ToUtf8(folderPath));
    folderEntered_ = false;
    if (session_.EnterFolderPath(Utf8ToUtf16(absolute), status) != 1) {
      return Failed(FailureKind(DeliveryFailure::kTransfer), {}, status);
    }
    folderEntered_ = true;
    currentFolder_ = folderPath;
  }
  return Deliver(localPath, folderPath, progress, status);
}

void SftpUploadSession::OpenExpectedAhead(StatusTarget* status) {
  std::optional<ExpectedEntry> next = std::move(expected_);
  expected_.reset();
  // A part of its own is resumed, not emptied; a final name is never
  // emptied before its turn; another folder may not exist yet.
  if (!next || record_.tempName == 0 || next->partBegun || next->folderPath != currentFolder_ ||
      !IsRegularFile(next->localPath)) {
    return;
  }
  session_.OpenAhead(PartName(RemoteFileName(next->localPath)), status);
}

EntryOutcome SftpUploadSession::Deliver(const Text& localPath, const Text& folderPath, ProgressTarget* progress,
                                        StatusTarget* status) {
  SftpRemoteFiles remote(session_, stop_, [this](const Text& line, StatusTarget* target) { Note(line, target); });
  remote.SetStatus(status);
  // A hash only where the server offers one (SFTP servers seen so far do not).
  std::optional<SentDigest> digest;
  if (const std::optional<HashKind> kind = DigestToSend(remote.Offers(), record_.verify))
    digest.emplace(*kind, observer_);
  DeliveryJob job;
  job.localPath = localPath;
  job.remoteName = RemoteFileName(localPath);
  job.usePart = record_.tempName != 0;
  job.part = part_;
  job.remotePath = DeliveryPath(record_.name, folderPath, job.remoteName);
  job.partBegun = partBegun_;
  job.digest = digest ? &*digest : nullptr;
  const std::int64_t startMs = clock_.MonotonicMs();
  OpenExpectedAhead(status);
  const DeliveryOutcome delivered = DeliverWithPolicy(remote, job, digest ? &*digest : observer_, progress, status);
  lastStamp_ = delivered.sentStamp;
  // Opened ahead for this very entry and not taken (delivered before, say).
  session_.AbandonOpenAhead(JoinRemotePath(session_.CurrentFolder(), Utf16ToUtf8(PartName(job.remoteName))), status);
  if (delivered.result != 1) {
    // The policy has logged its line already.
    const DeliveryFailure failure =
        delivered.failure == DeliveryFailure::kTransfer ? FailureKind(DeliveryFailure::kTransfer) : delivered.failure;
    return Failed(failure, {}, status, delivered.error);
  }
  lastFailure_ = DeliveryFailure::kNone;
  lastVerification_ = delivered.verification;
  const std::int64_t ms = clock_.MonotonicMs() - startMs;
  Note(u"----- " + IntToText(delivered.bytesSent) + u" bytes sent in " + IntToText(ms) + u" ms", status);
  return EntryOutcome::kSent;
}

void SftpUploadSession::Close(StatusTarget* status) {
  expected_.reset();
  session_.Quit(status);
  folderEntered_ = false;
  currentFolder_.clear();
  entries_ = 0;
}

Text SftpUploadSession::TakeLog() {
  Text log = session_.Log().Get();
  session_.Log().Clear();
  return log;
}

}  // namespace wexmoor
