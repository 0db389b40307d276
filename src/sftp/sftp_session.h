// One SFTP session: a TCP connection, SSH on libssh2, and one "sftp" channel
// that this class speaks SFTP version 3 on. It offers what an upload session
// needs: connect and log in, walk (and create) a folder path, upload a file
// from an offset with pipelined writes, ask a file's size, rename (atomically
// where the server offers posix-rename), remove, list a folder, and quit.
//
// libssh2 runs non-blocking. Every wait is a poll in slices of at most 10 ms
// that watches the session's stop token and the time-out (counted from the
// last progress), so a stop ends any call within a slice; the session then
// drops its connection without a word to the server and everything after
// fails at once until a new token is set.
//
// The exchange goes to the session's ConversationLog in the engine's line
// form: "<--->" what was asked, ">---<" the answer, "!!---" errors, "-----"
// events. Passwords never reach it.
//
// A session is used by one thread at a time. An upload session drives it so:
//
//   const SftpTarget target = SftpTargetFor(record, fingerprint, sshFolder, agentSocket);
//   session.SetStopToken(token);
//   session.SetTrustWindow(window);  // optional
//   if (session.Connect(target.login, status) == 1 &&
//       session.EnterFolderPath(target.folderPath, status) == 1) {
//     for each entry: the delivery policy over SftpRemoteFiles (spooler/)
//   }
//   session.Quit(status);
//
// After a -1, Connected() tells whether the session can go on (a refused
// file) or has dropped its connection (a cut, time-out or stop): then it is
// connected afresh, and with `resume` an upload continues from the part the
// server kept.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "model/conversation_log.h"
#include "model/status_target.h"
#include "model/transfer_observer.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "model/server_table.h"

namespace wexmoor {

// Where and as whom to log in.
struct SftpLogin {
  Text host;            // name or dotted address, without a folder
  int port = 22;        // see SftpPort
  Text login;
  Text password;        // empty: the agent and the key files instead
  Text fingerprint;     // the stored "SHA256:..." host key fingerprint, or empty
  int timeOut = 10000;  // milliseconds without progress before giving up
  // The user's ~/.ssh folder (key files and known_hosts); empty: none. The
  // agent's socket ($SSH_AUTH_SOCK); empty: no agent. The composition root
  // fills both in.
  std::string sshFolder;
  std::string agentSocket;
};

// libssh2's process-wide start and end: called once by the composition root
// before any session thread starts, and after the last one has ended.
bool StartSftpLibrary();
void StopSftpLibrary();

// The port an SFTP server is dialled on: 22 where the record says 0 or 21.
int SftpPort(int configuredPort);

// Where a server record leads: the login (host from the address, SftpPort,
// login, password, time-out) and the address's folder ("dir/sub/", or
// "/dir/" when the address says "host//dir"). The stored fingerprint, the
// user's ~/.ssh folder and the agent socket come from the caller.
struct SftpTarget {
  SftpLogin login;
  Text folderPath;
};
SftpTarget SftpTargetFor(const ServerRecord& server, Text fingerprint, std::string sshFolder,
                         std::string agentSocket);

// What a trust window is shown about an unknown host key.
struct HostKeyQuestion {
  Text host;
  int port = 0;
  Text keyType;      // "ssh-ed25519", ...
  Text fingerprint;  // "SHA256:..."
};
// Answers whether to trust the key for this session; may be empty (no
// window: unknown keys are refused). Called on the session's thread, so a
// window must hand the question over and wait for the answer itself.
using HostKeyTrustWindow = std::function<bool(const HostKeyQuestion&)>;

// Where a host key not trusted yet is reported when nobody waits for the
// answer: the connection is refused anyway and the entry stays queued, so a
// later attempt finds the fingerprint if the user trusted it. Called on the
// session's thread; must not wait.
class HostKeyTrustAsker {
 public:
  virtual ~HostKeyTrustAsker() = default;
  virtual void AskHostKeyTrust(const Text& serverName, const HostKeyQuestion& question) = 0;
};

// One entry of a folder listing ("." and ".." are left out).
struct SftpListEntry {
  Text name;
  bool isFolder = false;
  std::int64_t size = 0;
};

// "name|name|" as the remote browser takes listings.
Text SftpListingText(const std::vector<SftpListEntry>& entries);

// Joins a folder path (the address's folder, "/"-rooted or relative) onto the
// login folder: "/"-rooted paths stand alone. Empty segments and "." are
// dropped; ".." stays for the server to resolve.
std::string JoinRemotePath(std::string_view base, std::string_view path);

class SftpSession;

// Why the last Connect failed.
enum class SftpConnectFailure {
  kNone,
  kNoConnection,    // no TCP connection
  kHandshake,       // SSH never got going, or a stop or time-out in the login
  kHostKeyUnknown,  // not trusted (yet): nothing of the login was sent
  kHostKeyChanged,  // differs from the stored or known one
  kLogin,           // the server refused every way of logging in
  kSftp,            // logged in, but no SFTP
};

// The remote browser's look at an SFTP server: connects, enters (creating)
// `folderPath`, lists it and quits. A listing result ("name|name|") or an
// error text beginning with "!!", like the FTP engine's browse.
Text BrowseSftpServer(SftpSession& session, const SftpLogin& login, TextView folderPath, StatusTarget* status);

class SftpSession {
 public:
  // `lastProgressTime` (monotonic seconds of `clock`) is refreshed after
  // every acknowledged block of an upload, for the watchdog.
  SftpSession(const Clock& clock, std::atomic<std::int64_t>& lastProgressTime);
  ~SftpSession();
  SftpSession(const SftpSession&) = delete;
  SftpSession& operator=(const SftpSession&) = delete;

  void SetStopToken(std::stop_token stop);
  void SetTrustWindow(HostKeyTrustWindow window) { trustWindow_ = std::move(window); }
  ConversationLog& Log() { return log_; }
  const ConversationLog& Log() const { return log_; }

  bool Connected() const;
  // For a session kept between uploads: false (and dropped) when the server
  // ended it meanwhile. Does not wait.
  bool Alive();
  SftpConnectFailure ConnectFailure() const { return connectFailure_; }
  // The fingerprint of the last host key seen ("" before a handshake).
  const std::string& HostKeyFingerprint() const { return fingerprint_; }
  bool PosixRenameOffered() const { return posixRename_; }
  // Renames without the extension from now on (remove + rename), as with a
  // server that does not offer it.
  void AvoidPosixRename() { posixRename_ = false; }
  // The folder uploads go into (absolute, UTF-8).
  const std::string& CurrentFolder() const { return folder_; }

  // Connects, checks the host key (nothing of the login is sent to a server
  // not trusted), logs in and opens SFTP. 1 on success; -1 otherwise (the
  // session is then closed). Clears the log first.
  int Connect(const SftpLogin& login, StatusTarget* status);
  // Makes `folderPath` (relative to the login folder, or "/"-rooted) the
  // current folder, creating missing folders on the way. 1 or -1.
  int EnterFolderPath(TextView folderPath, StatusTarget* status);
  // Size of `name` in the current folder: >= 0, -1 when it does not exist,
  // -2 on another failure.
  std::int64_t RemoteSize(TextView name, StatusTarget* status);
  // Writes the local file into `remoteName` in the current folder from byte
  // `offset` on (0: the remote file is created or truncated; > 0: written
  // from there, resuming an earlier upload). 1 when every byte was
  // acknowledged; -1 otherwise (unreadable file, refusal, cut, stop).
  // With `sizeAfter`, the remote size is asked right behind the data (-1
  // when the server has no size for it).
  int UploadFile(const Text& localPath, TextView remoteName, std::int64_t offset, ProgressTarget* progress,
                 StatusTarget* status, std::int64_t* sizeAfter = nullptr);
  // The same from the open file `fd`: `length` bytes from `offset` on, each
  // block passing `observer` (may be null; false from BeforeBlock ends the
  // upload with -1).
  int WriteFrom(int fd, TextView remoteName, std::int64_t offset, std::int64_t length, TransferObserver* observer,
                ProgressTarget* progress, StatusTarget* status, std::int64_t* sizeAfter = nullptr);
  // How many bytes below the size of a file written by WriteFrom may still be
  // missing when a cut ended it: the writes in flight together may complete
  // in any order.
  static std::int64_t WritesInFlightBytes();
  // Renames within the current folder: posix-rename (replacing `to`) where
  // offered, else a plain rename, which a server refuses when `to` exists
  // (nothing is removed here). 1 or -1.
  int Rename(TextView from, TextView to, StatusTarget* status);
  int Remove(TextView name, StatusTarget* status);
  // Sets the modification (and access) time of `name` in the current folder
  // with SETSTAT. 1, 0 when the server refused, -1 when the session is gone.
  int SetModificationTime(TextView name, std::int64_t epochSeconds, StatusTarget* status);
  // The same without waiting for the answer: it is read with a later one and
  // logged then ("----- The server kept its own time ..." for a refusal).
  // 1, or -1 when the session is gone.
  int SetModificationTimeLater(TextView name, std::int64_t epochSeconds, StatusTarget* status);

  // Sends the OPEN of `remoteName` in the current folder (created, or
  // truncated) without waiting for its answer, so that it crosses the link
  // while the current file ends: the next Upload/WriteFrom of that very path
  // from offset 0 takes its handle. At most two are outstanding (nothing
  // happens beyond). A refusal is that later upload's failure.
  void OpenAhead(TextView remoteName, StatusTarget* status);
  // The absolute paths of the OPENs sent ahead and not taken yet.
  std::vector<std::string> OpenAheadPaths() const;
  // Gives up the OPEN sent ahead for `path`: its handle closed and the file
  // it made (or emptied) removed.
  void AbandonOpenAhead(const std::string& path, StatusTarget* status);
  // Lists the current folder. 1 or -1.
  int ListFolder(std::vector<SftpListEntry>& entries, StatusTarget* status);

  // Ends the session politely (channel close, SSH disconnect) within a short
  // bound; falls back to dropping the connection.
  void Quit(StatusTarget* status);
  // Drops the connection without a word to the server.
  void Drop();

  struct Impl;

 private:
  void LogLine(TextView text, StatusTarget* status);
  // WriteFrom, with the remote size asked right behind the data when
  // `sizeAfter` is given (-1 when the server has no size for it).
  int Upload(int file, const Text& shownName, TextView remoteName, std::int64_t offset, std::int64_t length,
             TransferObserver& observer, std::int64_t* sizeAfter, ProgressTarget* progress, StatusTarget* status);

  const Clock& clock_;
  std::atomic<std::int64_t>& lastProgressTime_;
  std::stop_token stop_;
  HostKeyTrustWindow trustWindow_;
  ConversationLog log_;
  std::unique_ptr<Impl> impl_;
  std::string fingerprint_;
  std::string folder_;
  bool posixRename_ = false;
  SftpConnectFailure connectFailure_ = SftpConnectFailure::kNone;
};

}  // namespace wexmoor
