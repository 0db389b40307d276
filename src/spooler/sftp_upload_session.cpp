#include "spooler/sftp_upload_session.h"

#include "ftp/file_upload.h"
#include "ftp/part_upload.h"
#include "platform/code_page.h"
#include "platform/files.h"

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

EntryOutcome SftpUploadSession::Failed(DeliveryFailure failure, const Text& error, StatusTarget* status) {
  lastFailure_ = failure;
  lastError_ = error.empty() ? LastErrorLine(session_.Log().Get()) : error;
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
  if (entries_++ > 0 && !session_.Alive()) {
    // The server ended the kept session while it waited.
    Close(status);
    return stop_.stop_requested() ? EntryOutcome::kStopped : EntryOutcome::kDead;
  }

  // The local file first: a problem here needs nothing from the server.
  const std::int64_t size = FileSize(localPath);
  const std::optional<std::int64_t> mtime = FileModificationTime(localPath);
  if (size < 0 || !mtime || !IsRegularFile(localPath)) {
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
  return Deliver(localPath, size, *mtime, progress, status);
}

EntryOutcome SftpUploadSession::Deliver(const Text& localPath, std::int64_t size, std::int64_t mtime,
                                        ProgressTarget* progress, StatusTarget* status) {
  const Text finalName = RemoteFileName(localPath);
  const bool usePart = record_.tempName != 0;
  const Text target = usePart ? PartName(finalName) : finalName;
  const PartRecord now{size, mtime};
  PartRecord none;
  PartRecord& part = part_ != nullptr ? *part_ : none;

  // Continue a part begun from this very file; anything else starts at 0.
  std::int64_t offset = 0;
  if (usePart && part == now) {
    const std::int64_t remote = session_.RemoteSize(target, status);
    if (remote > 0 && remote <= size) {
      offset = remote;
    } else if (remote == -1 && session_.RemoteSize(finalName, status) == size) {
      // Renamed already, but the program ended before it knew.
      part = PartRecord{};
      Note(u"----- \"" + finalName + u"\" was delivered before", status);
      lastFailure_ = DeliveryFailure::kNone;
      return EntryOutcome::kSent;
    }
    if (!session_.Connected()) return Failed(DeliveryFailure::kServerGone, {}, status);
  }
  part = usePart ? now : PartRecord{};
  if (partBegun_) partBegun_(part);
  if (offset > 0) Note(u"----- Resuming at " + IntToText(offset) + u" of " + IntToText(size), status);

  const std::int64_t startMs = clock_.MonotonicMs();
  std::int64_t remoteSize = -1;
  if (session_.UploadFile(localPath, target, offset, progress, status, &remoteSize) != 1) {
    return Failed(FailureKind(DeliveryFailure::kTransfer), {}, status);
  }
  // The server must hold exactly the local file's bytes.
  if (remoteSize >= 0 && remoteSize != size) {
    part = PartRecord{};
    return Failed(DeliveryFailure::kVerify,
                  u"!!--- Size on the server " + IntToText(remoteSize) + u" differs from " + IntToText(size), status);
  }
  if (usePart && session_.Rename(target, finalName, status) != 1) {
    return Failed(FailureKind(DeliveryFailure::kTransfer), u"!!--- Rename to \"" + finalName + u"\" refused", status);
  }
  part = PartRecord{};
  lastFailure_ = DeliveryFailure::kNone;
  const std::int64_t ms = clock_.MonotonicMs() - startMs;
  Note(u"----- " + IntToText(size - offset) + u" bytes sent in " + IntToText(ms) + u" ms", status);
  return EntryOutcome::kSent;
}

void SftpUploadSession::Close(StatusTarget* status) {
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
