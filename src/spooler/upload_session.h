// One upload session: one logged-in connection to one server, used by one
// thread at a time. The scheduler hands it queue entries one after the other
// while entries for its server remain; the session keeps its login and its
// current folder between them. FTP is one kind; another protocol is another
// implementation of the same interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

#include "ftp/part_upload.h"
#include "ftp/status_target.h"
#include "model/transfer_observer.h"
#include "platform/text.h"
#include "model/server_table.h"

namespace wexmoor {

enum class SessionOpening {
  kOpen,     // logged in
  kRefused,  // the server turned the connection away (421, or 530 at login)
  kFailed,   // anything else: no connection, bad answer, wrong password
  // The server's host key or certificate is not trusted (yet); nothing of
  // the login was sent, and the user has been asked.
  kUntrusted,
};

enum class EntryOutcome {
  kSent,     // the file is on the server
  kFailed,   // the entry failed; the session is closed
  kDead,     // a kept session turned out dead before the entry began; closed
  kStopped,  // the stop was seen; the sockets are closed
};

// An entry the scheduler has claimed for a session as the one it hands over
// next.
struct ExpectedEntry {
  Text localPath;
  Text folderPath;
  bool partBegun = false;  // the entry has a part of its own to resume
};

class UploadSession {
 public:
  virtual ~UploadSession() = default;

  virtual void SetStopToken(std::stop_token stop) = 0;
  virtual bool IsOpen() const = 0;
  // Connects and logs in to `server` (its address names the host, perhaps
  // followed by folders). Nothing happens while the session is open.
  virtual SessionOpening Open(const ServerRecord& server, StatusTarget* status) = 0;
  // Uploads `localPath` into `folderPath` (folder names below the login
  // folder, each followed by "/"; empty for the login folder itself), making
  // missing folders. The session stays open after a sent file.
  virtual EntryOutcome Upload(const Text& localPath, const Text& folderPath, ProgressTarget* progress,
                              StatusTarget* status) = 0;
  // The part record of the next Upload: read to resume, updated as the part
  // is begun or done with (nullptr: none kept). Kinds without parts ignore it.
  // `begun` hears of a new part before its data goes.
  virtual void UsePart(PartRecord* part, std::function<void(const PartRecord&)> begun = {}) {
    (void)part;
    (void)begun;
  }
  // The largest file (bytes) whose upload the session overlaps with the
  // next entry's (ExpectNext); 0: none. The scheduler claims the next entry
  // early only while the one in hand and that one are no larger, so that a
  // long upload never holds back an entry that another session could take.
  // Asked once open.
  virtual std::int64_t OverlapBytes() const { return 0; }
  // The entry the next Upload will be given (none: not known). A session may
  // send its first requests while the current upload ends; an Upload of
  // another entry, or Close, gives up what was sent for it.
  virtual void ExpectNext(std::optional<ExpectedEntry> next) { (void)next; }
  // Sees every block of the following Uploads (nullptr: none).
  virtual void SetTransferObserver(TransferObserver* observer) { (void)observer; }
  // The local file as the last Upload found it when it began (size -1: not
  // read): what the delivered record keeps.
  virtual PartRecord LastStamp() const { return PartRecord{}; }
  // Why the last Upload failed, and its last error line.
  virtual DeliveryFailure LastFailure() const { return DeliveryFailure::kTransfer; }
  virtual Text LastError() const { return {}; }
  // How the last sent file was checked: "sha256:<hex>" (or another hash
  // kind's name), "size", or empty when not checked.
  virtual Text LastVerification() const { return u"size"; }
  // Says goodbye and closes; nothing when closed.
  virtual void Close(StatusTarget* status) = 0;
  // The exchange logged since the last call; the log is then empty.
  virtual Text TakeLog() = 0;
};

}  // namespace wexmoor
