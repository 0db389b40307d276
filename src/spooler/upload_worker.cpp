#include "spooler/upload_worker.h"

#include <unistd.h>

#include "ftp/control_connection.h"
#include "ftp/file_upload.h"
#include "ftp/part_upload.h"
#include "ftp/remote_session.h"
#include "platform/files.h"
#include "spooler/retry_schedule.h"

namespace wexmoor {

namespace {
constexpr std::int64_t kStartPauseMs = 100;
constexpr std::int64_t kIdlePauseMs = 100;
constexpr std::int64_t kRemovedPauseMs = 110;
constexpr std::int64_t kWebWaitMs = 100;
constexpr std::int64_t kBetweenEntriesMs = 10;

// The server's folder joined with the entry's subfolder.
Text DestinationPath(const Text& address, const Text& subfolder) {
  Text a = address;
  if (!a.empty() && a.back() == u'/') a.pop_back();
  if (!subfolder.empty()) a += u"/" + subfolder;
  return a;
}
}  // namespace

UploadWorker::UploadWorker(WorkerContext& context, DeliveryBook* delivery, DeliveredJournal* journal)
    : context_(context),
      ownBook_(delivery == nullptr ? std::make_unique<DeliveryBook>() : nullptr),
      book_(delivery == nullptr ? *ownBook_ : *delivery),
      journal_(journal) {}

UploadWorker::~UploadWorker() { Terminate(); }

void UploadWorker::Start() {
  if (running_.load()) return;
  if (thread_.joinable()) thread_.join();
  running_.store(true);
  thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void UploadWorker::Terminate() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
  running_.store(false);
}

bool UploadWorker::Running() const { return running_.load(); }

void UploadWorker::RemoveEntry(std::uint64_t id) {
  // By identity: when the user removed this entry meanwhile, nothing else
  // goes.
  if (auto text = context_.queue.RemoveById(id)) context_.removeRing.Put(*text, 0);
  book_.Forget(id);
}

void UploadWorker::EntryFailed(std::uint64_t id, const Text& error) {
  const std::int64_t wait = RetryDelayMs(book_.EntryFailures(id) + 1, random_);
  book_.EntryFailed(id, error, context_.clock.MonotonicMs() + wait, context_.clock.WallSeconds() + wait / 1000);
}

void UploadWorker::ServerFailed(std::uint64_t id, const Text& server, const Text& error) {
  const std::int64_t wait = RetryDelayMs(book_.ServerFailures(server) + 1, random_);
  book_.ServerFailed(server, context_.clock.MonotonicMs() + wait);
  book_.EntryFailed(id, error, context_.clock.MonotonicMs() + wait, context_.clock.WallSeconds() + wait / 1000);
}

void UploadWorker::Run(std::stop_token stop) {
  context_.session.SetStopToken(stop);
  const Clock& clock = context_.clock;
  auto& lastProgress = context_.flags.lastProgressTime;
  int webWaits = 0;  // counted over the whole life of this worker
  if (clock.SleepFor(kStartPauseMs, stop)) {
    for (;;) {
      // A pass over the queue, from the first entry.
      lastProgress.store(clock.MonotonicSeconds());
      // A new drop (or hand-over) gives every waiting entry its chance now.
      if (const std::uint64_t appends = context_.queue.Appends(); appends != appendsSeen_) {
        if (appendsSeen_ != 0) book_.ClearWaits();
        appendsSeen_ = appends;
      }
      int index = 0;
      bool restartPass = false;
      bool stopped = false;
      while (!restartPass) {
        if (context_.queue.Size() <= index) {
          stopped = !clock.SleepFor(kIdlePauseMs, stop);
          break;
        }
        if (!HandleEntry(stop, index, webWaits, restartPass)) {
          stopped = true;
          break;
        }
      }
      if (stopped) break;
    }
  }
  running_.store(false);
}

bool UploadWorker::HandleEntry(const std::stop_token& stop, int& index, int& webWaits, bool& restartPass) {
  const Clock& clock = context_.clock;
  SharedFlags& flags = context_.flags;
  FtpSession& session = context_.session;
  flags.lastProgressTime.store(clock.MonotonicSeconds());

  auto entry = context_.queue.At(index);
  if (!entry) return true;  // the queue shrank under us: the caller sees its end
  const int start = index;
  const Text serverName = EntryServerName(entry->text);
  const Text localPath = EntryLocalPath(entry->text);
  const Text subfolder = EntrySubfolder(entry->text);

  // The server by name; an entry whose server has gone is dropped unsent.
  ServerTable& servers = context_.servers;
  ServerRecord server = servers.Get(servers.FindServer(serverName));
  if (server.name != serverName) {
    RemoveEntry(entry->id);
    restartPass = true;
    return clock.SleepFor(kRemovedPauseMs, stop);
  }

  // --- Delivery rules: an entry or server still waiting, or a missing local
  // file, costs no connection; the next entry goes on. ---
  const std::int64_t now = clock.MonotonicMs();
  if (!book_.EntryDue(entry->id, now) || !book_.ServerDue(serverName, now)) {
    book_.SetStatus(entry->id, EntryStatus::kWaiting);
    index = start + 1;
    return true;
  }
  if (!IsRegularFile(localPath) || access(PathToNative(localPath).c_str(), R_OK) != 0) {
    book_.SetStatus(entry->id, EntryStatus::kLocalMissing, u"!!--- Unable to open \"" + localPath + u"\"");
    index = start + 1;
    return true;
  }

  Text destination = DestinationPath(server.address, subfolder);
  context_.display.SetCurrentFile(FileNamePart(localPath));

  while (flags.webBusy.load() != 0 && webWaits < kMaxWebWaits) {
    if (!clock.SleepFor(kWebWaitMs, stop)) return false;
    ++webWaits;
  }

  flags.ftpBusy.store(1);
  ServerRecord record;
  CopyServerRecord(server, record);
  record.address = destination;
  if (!DeliverEntry(stop, *entry, serverName, record, start, index)) return false;

  context_.history.Append(session.Log().Get());
  flags.ftpBusy.store(0);
  return clock.SleepFor(kBetweenEntriesMs, stop);
}

bool UploadWorker::DeliverEntry(const std::stop_token& stop, const QueueEntry& entry, const Text& serverName,
                                const ServerRecord& server, int start, int& index) {
  FtpSession& session = context_.session;
  StatusTarget& status = context_.display.Status();
  ProgressTarget& progress = context_.display.Progress();
  ServerRecord record;
  CopyServerRecord(server, record);
  book_.SetStatus(entry.id, EntryStatus::kUploading);
  index = start + 1;

  const Text opened = OpenRemoteSession(session, record, 0, 0, &status);
  if (stop.stop_requested()) return false;
  if (opened.starts_with(u"!!")) {
    // Whatever the failed set-up left open goes before the next attempt.
    Disconnect(session, &status);
    if (stop.stop_requested()) return false;
    // No connection, a 421 greeting or a refused login: the server waits.
    if (opened.starts_with(u"!!Impossible")) {
      ServerFailed(entry.id, serverName, opened);
    } else {
      EntryFailed(entry.id, opened);
    }
    return true;
  }
  book_.ServerWorked(serverName);

  context_.flags.lastProgressTime.store(context_.clock.MonotonicSeconds());
  PartRecord part = book_.Get(entry.id).part;
  const DeliveryOutcome outcome =
      DeliverFile(session, session.controlConnection(), record, EntryLocalPath(entry.text), part, &progress, &status);
  if (stop.stop_requested()) return false;
  book_.SetPart(entry.id, part);
  if (outcome.result == 1) {
    if (journal_ != nullptr) {
      const Text local = EntryLocalPath(entry.text);
      journal_->Add(entry.text, PartRecord{FileSize(local), FileModificationTime(local).value_or(0)});
    }
    RemoveEntry(entry.id);
    index = start;
  } else if (outcome.failure == DeliveryFailure::kLocalFile) {
    book_.SetStatus(entry.id, EntryStatus::kLocalMissing, outcome.error);
  } else if (outcome.failure == DeliveryFailure::kServerGone) {
    ServerFailed(entry.id, serverName, outcome.error);
  } else {
    EntryFailed(entry.id, outcome.error);
  }
  progress.SetProgress(0);
  Disconnect(session, &status);
  return !stop.stop_requested();
}

}  // namespace wexmoor
