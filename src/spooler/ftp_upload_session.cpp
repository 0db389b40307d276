#include "spooler/ftp_upload_session.h"

#include "ftp/control_connection.h"
#include "ftp/file_upload.h"
#include "ftp/part_upload.h"
#include "ftp/reply_reader.h"
#include "ftp/remote_session.h"
#include "platform/files.h"
#include "platform/socket.h"
#include "spooler/delivery_policy.h"
#include "spooler/delivery_proof.h"
#include "spooler/ftp_remote_files.h"
#include "spooler/sent_digest.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <utility>

namespace wexmoor {
namespace {

// The folder of a 257 reply: between the first double quote and the next
// single one, with doubled quotes standing for one. Empty when there is none.
Text QuotedFolder(TextView reply) {
  const std::size_t open = reply.find(u'"');
  if (open == TextView::npos) return {};
  Text folder;
  for (std::size_t i = open + 1; i < reply.size(); ++i) {
    if (reply[i] == u'"') {
      if (i + 1 < reply.size() && reply[i + 1] == u'"') {
        folder += u'"';
        ++i;
        continue;
      }
      return folder;
    }
    if (reply[i] == u'\r' || reply[i] == u'\n') break;
    folder += reply[i];
  }
  return {};
}

Text WithoutTrailingSlash(TextView path) {
  Text text(path);
  while (!text.empty() && text.back() == u'/') text.pop_back();
  return text;
}

// "a/b/" of "a/b/c/"; "" of "a/".
Text ParentFolder(const Text& folderPath) {
  const Text inner = WithoutTrailingSlash(folderPath);
  const std::size_t slash = inner.find_last_of(u'/');
  return slash == Text::npos ? Text() : inner.substr(0, slash + 1);
}

Text TwoDecimals(double value) {
  char text[64];
  auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
  if (error != std::errc()) return u"0.00";
  return AsciiToText(std::string_view(text, static_cast<std::size_t>(end - text)));
}

// Servers whose greeting shows a kind known to lose replies to commands that
// come together.
bool BreaksOnPipelining(TextView greeting) {
  for (TextView kind : {TextView(u"Microsoft FTP Service"), TextView(u"MikroTik")})
    if (greeting.find(kind) != TextView::npos) return true;
  return false;
}

// Servers whose greeting shows a kind known to answer commands while a
// transfer's data still drains: nothing goes behind the data there.
bool AnswersWhileTransferring(TextView greeting) {
  for (TextView kind : {TextView(u"pyftpdlib"), TextView(u"ProFTPD"), TextView(u"Pure-FTPd")})
    if (greeting.find(kind) != TextView::npos) return true;
  return false;
}

bool DeadReply(const Text& reply) { return reply.starts_with(u"!!") || ReplyHasCode(reply, u"421") != 0; }

}  // namespace

FtpUploadSession::FtpUploadSession(const Clock& clock, ListenerPortSequence& ports,
                                   std::atomic<std::int64_t>& lastProgressTime, const Text& ipEchoUrl)
    : session_(clock, ports, lastProgressTime, ipEchoUrl) {}

FtpUploadSession::~FtpUploadSession() { session_.CloseAllSockets(); }

SessionOpening FtpUploadSession::Open(const ServerRecord& server, StatusTarget* status) {
  if (IsOpen()) return SessionOpening::kOpen;
  record_ = server;
  if (record_.timeOut == 0) record_.timeOut = 10000;
  record_.address = SplitServerAddress(server.address).host;
  currentFolder_.clear();
  enteredFolders_.clear();
  loginFolder_.clear();
  loginFolderAsked_ = false;
  entries_ = 0;
  session_.lastReply.clear();
  session_.outOfStep = false;
  session_.behindCrossed = false;
  session_.sizeFromBehind = false;
  session_.passiveAhead.clear();
  if (std::find(oneAtATime_.begin(), oneAtATime_.end(), record_.name) != oneAtATime_.end()) record_.pipelining = 0;
  OpenControlConnection(session_, record_, status);
  if (record_.pipelining != 0 && BreaksOnPipelining(session_.greeting)) {
    LogLine(session_, u"----- One command at a time for this server", status);
    oneAtATime_.push_back(record_.name);
    record_.pipelining = 0;
  }
  if (AnswersWhileTransferring(session_.greeting)) noneBehind_.push_back(record_.name);
  if (status != nullptr) status->SetStatusText(u"Connected to port:" + IntToText(session_.controlConnection()));
  if (session_.controlConnection() == 0) {
    LogLine(session_, u"!!Impossible to initialise connection (perhaps an adress problem...)!!", status);
    return ReplyHasCode(session_.lastReply, u"421") != 0 ? SessionOpening::kRefused : SessionOpening::kFailed;
  }
  if (Login(session_, session_.controlConnection(), record_, status) != 1) {
    LogLine(session_, u"!!Impossible to initialise connection (perhaps a login, or password problem...)!!", status);
    const bool refused = ReplyHasCode(session_.lastReply, u"421") != 0 || ReplyHasCode(session_.lastReply, u"530") != 0;
    Close(status);
    return refused ? SessionOpening::kRefused : SessionOpening::kFailed;
  }
  proof_ = ParseProofFeatures(session_.featReply);
  return SessionOpening::kOpen;
}

EntryOutcome FtpUploadSession::Upload(const Text& localPath, const Text& folderPath, ProgressTarget* progress,
                                      StatusTarget* status) {
  if (!IsOpen()) return EntryOutcome::kFailed;
  const bool kept = entries_++ > 0;
  // A STOR sent ahead may be answered already (150 before its data
  // connection): that is no word of the server's own.
  if (kept && session_.storeAhead.empty() &&
      WaitReadable(session_.controlConnection(), 0, session_.StopToken()) != WaitResult::kTimedOut) {
    // Whatever a waiting session hears unasked is its end: a closed
    // connection, or a 421 when the server timed it out.
    ReadReply(session_, session_.controlConnection(), record_, 0, status);
    Close(status);
    return session_.StopRequested() ? EntryOutcome::kStopped : EntryOutcome::kDead;
  }
  session_.repliesRead = 0;
  DeliveryOutcome delivered = Deliver(localPath, folderPath, progress, status);
  if (delivered.failure == DeliveryFailure::kVerify && session_.sizeFromBehind) {
    // A size asked behind the data may have been taken before the transfer
    // ended, whatever order its answer came in: asked after it instead.
    session_.outOfStep = true;
    session_.behindCrossed = true;
  }
  if (delivered.result != 1 && session_.outOfStep && !session_.StopRequested()) {
    // Spoken to one command at a time from now on (or, where only what went
    // behind the data crossed its closing reply, with nothing behind the
    // data): a fresh login, and the entry again.
    if (session_.behindCrossed) {
      LogLine(session_, u"----- SIZE behind the data was not to be trusted: nothing behind the data for this server",
              status);
      noneBehind_.push_back(record_.name);
    } else {
      LogLine(session_, u"----- Replies out of step: one command at a time for this server", status);
      oneAtATime_.push_back(record_.name);
    }
    ServerRecord server = record_;
    const Text earlier = session_.Log().Get();
    Close(status);
    const SessionOpening opened = Open(server, status);
    // A new connection starts the log afresh: the first attempt stays in it.
    Text both = earlier + session_.Log().Get();
    if (both.ends_with(u"\r\n")) both.resize(both.size() - 2);
    session_.Log().Clear();
    session_.Log().Append(both);
    if (opened == SessionOpening::kOpen) {
      entries_ = 1;
      session_.repliesRead = 0;
      delivered = Deliver(localPath, folderPath, progress, status);
    }
  }
  const int sent = delivered.result;
  if (sent == 1) lastVerification_ = delivered.verification;
  lastFailure_ = delivered.failure;
  lastError_ = delivered.error;
  lastStamp_ = delivered.sentStamp;
  if (session_.StopRequested()) {
    session_.CloseAllSockets();
    return EntryOutcome::kStopped;
  }
  if (sent == 1) {
    // Sent, but the closing reply never came: the next reply could be this
    // one's, so the next entry starts on a fresh login.
    if (session_.lastReply.starts_with(u"!!")) Close(status);
    if (session_.outOfStep) {
      // Delivered, and a later reply came out of step: the next file goes on
      // a fresh login, one command at a time.
      LogLine(session_, u"----- Replies out of step: one command at a time for this server", status);
      oneAtATime_.push_back(record_.name);
      Close(status);
    }
    return EntryOutcome::kSent;
  }
  const bool dead = kept && (session_.repliesRead == 0 || DeadReply(session_.firstReply));
  Close(status);
  return dead ? EntryOutcome::kDead : EntryOutcome::kFailed;
}

DeliveryOutcome FtpUploadSession::Deliver(const Text& localPath, const Text& folderPath, ProgressTarget* progress,
                                          StatusTarget* status) {
  DeliveryOutcome delivered;
  delivered.failure = DeliveryFailure::kTransfer;
  lastVerification_.clear();
  const std::optional<ExpectedEntry> next = std::exchange(expected_, std::nullopt);
  // A STOR sent ahead for another file than this one is settled.
  if (!session_.storeAhead.empty() && (folderPath != currentFolder_ || record_.tempName == 0 ||
                                       session_.storeAhead != PartName(RemoteFileName(localPath))) &&
      SettleStoreAhead(session_, session_.controlConnection(), record_, status) < 0) {
    delivered.failure = DeliveryFailure::kServerGone;
    delivered.error = u"!!--- Connection lost";
    LogLine(session_, delivered.error, status);
    return delivered;
  }
  if (folderPath != currentFolder_) {
    // Asked for the folder left: a new PASV comes after the CWD.
    session_.passiveAhead.clear();
    if (!EnterFolder(folderPath, status)) return delivered;
  }
  // Under a temporary name, renamed when complete; a part this entry began
  // before is continued.
  FtpRemoteFiles remote(session_, record_, &proof_);
  remote.SetStatus(status);
  // The bytes sent are hashed on their way where the server can hash them too.
  std::optional<SentDigest> digest;
  if (const std::optional<HashKind> kind = DigestToSend(remote.Offers(), record_.verify))
    digest.emplace(*kind, observer_);
  // Where the rename is the delivery's last command, the next file's PASV
  // goes with it (IPv4 passive sessions).
  int family = 0;
  PeerAddress(session_.controlConnection(), &family);
  const bool passiveAhead = record_.pipelining != 0 && record_.active == 0 && !digest && !proof_.mfmt && family == 4;
  remote.SetPassiveAhead(passiveAhead);
  remote.SetSizeBehindData(record_.pipelining != 0 && record_.tempName != 0 &&
                           std::find(noneBehind_.begin(), noneBehind_.end(), record_.name) == noneBehind_.end());
  if (passiveAhead && record_.tempName != 0 && next) {
    // A next file in another folder goes there by its absolute name: the
    // login folder is asked once, at the first file with a next one (never
    // behind a STOR that waits).
    if (session_.storeAhead.empty()) LoginFolder(status);
    remote.SetNextFile(NextFileCommands(*next, folderPath));
  }
  DeliveryJob job;
  job.localPath = localPath;
  job.remoteName = RemoteFileName(localPath);
  job.usePart = record_.tempName != 0;
  job.part = part_;
  job.remotePath = DeliveryPath(record_.name, folderPath, job.remoteName);
  job.partBegun = partBegun_;
  job.digest = digest ? &*digest : nullptr;
  const std::int64_t startMs = session_.clock().MonotonicMs();
  delivered = DeliverWithPolicy(remote, job, digest ? &*digest : observer_, progress, status);
  if (remote.NextFolderEntered()) {
    currentFolder_ = next->folderPath;
    enteredFolders_.push_back(currentFolder_);
  }
  if (delivered.result == 1) {
    const double kilobytes = static_cast<double>(delivered.bytesSent) / 1024.0;
    const double seconds = static_cast<double>(session_.clock().MonotonicMs() - startMs) / 1000.0;
    const double speed = seconds >= 1.0 ? kilobytes / seconds : kilobytes;
    LogLine(session_, u"-----" + TwoDecimals(kilobytes) + u" Kb sent at " + TwoDecimals(speed) + u" Kb/s.", status);
  }
  return delivered;
}

bool FtpUploadSession::EnterFolder(const Text& folderPath, StatusTarget* status) {
  const int connection = session_.controlConnection();
  bool home = currentFolder_.empty();
  if (!home) {
    const Text& login = LoginFolder(status);
    if (!login.empty()) {
      const Text base = login == u"/" ? Text() : login;
      const Text target = folderPath.empty() ? login : base + u"/" + WithoutTrailingSlash(folderPath);
      const int cwd = ChangeFolder(session_, connection, record_, target, status);
      if (cwd == 1) {
        currentFolder_ = folderPath;
        enteredFolders_.push_back(folderPath);
        return true;
      }
      // Some of the folders are missing: from the login folder, make them.
      home = cwd == 550 && ChangeFolder(session_, connection, record_, login, status) == 1;
    } else {
      // The login folder is unknown: climb back to it.
      home = true;
      for (char16_t c : currentFolder_) {
        if (c != u'/') continue;
        CommandReply reply;
        if (RunCommand(session_, connection, record_, u"CDUP", u"200|250", reply, status) != 1) {
          home = false;
          break;
        }
      }
    }
    if (!home) {
      LogLine(session_, u"!!Error while opening the directory!! " + folderPath, status);
      return false;
    }
    currentFolder_.clear();
  }
  if (!WalkDown(folderPath, status)) return false;
  enteredFolders_.push_back(folderPath);
  return true;
}

bool FtpUploadSession::KnownFolder(const Text& folderPath) const {
  // Folder paths end in "/": a prefix of one entered is one of its parents.
  return folderPath.empty() || std::any_of(enteredFolders_.begin(), enteredFolders_.end(),
                                           [&](const Text& entered) { return entered.starts_with(folderPath); });
}

Text FtpUploadSession::AbsoluteFolder(const Text& folderPath) const {
  const Text base = loginFolder_ == u"/" ? Text() : loginFolder_;
  return folderPath.empty() ? loginFolder_ : base + u"/" + WithoutTrailingSlash(folderPath);
}

FtpRemoteFiles::NextFile FtpUploadSession::NextFileCommands(const ExpectedEntry& next, const Text& folderPath) const {
  FtpRemoteFiles::NextFile commands;
  // Only a fresh part is emptied ahead of its turn (a part of its own is
  // resumed), and only a small one: a refused STOR holds its bytes back
  // until the data connection's time-out.
  const std::int64_t size = FileSize(next.localPath);
  if (next.partBegun || size < 0 || size > kStoreAheadBytes || !IsRegularFile(next.localPath)) return commands;
  if (next.folderPath != folderPath) {
    // Another folder by its absolute name: one entered on this login, or
    // made where its parent is known to exist.
    if (loginFolder_.empty()) return commands;
    if (!KnownFolder(next.folderPath)) {
      if (!KnownFolder(ParentFolder(next.folderPath))) return commands;
      commands.makeFolder = true;
    }
    commands.folder = AbsoluteFolder(next.folderPath);
  }
  commands.partName = PartName(RemoteFileName(next.localPath));
  return commands;
}

bool FtpUploadSession::WalkDown(const Text& folderPath, StatusTarget* status) {
  const int connection = session_.controlConnection();
  std::size_t from = 0;
  while (from < folderPath.size()) {
    std::size_t slash = folderPath.find(u'/', from);
    if (slash == Text::npos) slash = folderPath.size();
    const Text folder = folderPath.substr(from, slash - from);
    from = slash + 1;
    const int cwd = ChangeFolder(session_, connection, record_, folder, status);
    if (cwd == 550) {
      // Made here, or by a neighbouring session meanwhile: either way in.
      if (MakeAndEnterFolder(session_, connection, record_, folder, status) != 1) return false;
    } else if (cwd != 1) {
      LogLine(session_, u"!!Error while opening the directory!! " + folder + u" (" + IntToText(cwd) + u")", status);
      return false;
    }
    currentFolder_ += folder + u"/";
  }
  return true;
}

const Text& FtpUploadSession::LoginFolder(StatusTarget* status) {
  if (loginFolderAsked_) return loginFolder_;
  loginFolderAsked_ = true;
  CommandReply reply;
  if (RunCommand(session_, session_.controlConnection(), record_, u"PWD", u"257", reply, status) != 1) {
    return loginFolder_;
  }
  const Text here = WithoutTrailingSlash(QuotedFolder(reply.line));
  const Text below = WithoutTrailingSlash(currentFolder_);
  if (below.empty() && here.starts_with(u"/")) {
    loginFolder_ = here;
  } else if (below.empty() && QuotedFolder(reply.line) == u"/") {
    loginFolder_ = u"/";
  } else if (here.size() > below.size() && here.ends_with(u"/" + below)) {
    loginFolder_ = here.substr(0, here.size() - below.size() - 1);
    if (loginFolder_.empty()) loginFolder_ = u"/";
  }
  return loginFolder_;
}

void FtpUploadSession::Close(StatusTarget* status) {
  // A STOR sent ahead leaves no empty part behind where the conversation
  // still goes on.
  if (!session_.storeAhead.empty() && IsOpen() && !session_.outOfStep && !session_.StopRequested())
    SettleStoreAhead(session_, session_.controlConnection(), record_, status);
  Disconnect(session_, status);
  expected_.reset();
  enteredFolders_.clear();
  currentFolder_.clear();
  entries_ = 0;
}

Text FtpUploadSession::TakeLog() {
  Text log = session_.Log().Get();
  session_.Log().Clear();
  return log;
}

}  // namespace wexmoor
