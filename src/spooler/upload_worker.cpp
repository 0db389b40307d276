#include "spooler/upload_worker.h"

#include <optional>

#include "ftp/control_connection.h"
#include "ftp/file_upload.h"
#include "ftp/remote_session.h"
#include "platform/files.h"

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

UploadWorker::UploadWorker(WorkerContext& context) : context_(context) {}

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

  Text destination = DestinationPath(server.address, subfolder);
  context_.display.SetCurrentFile(FileNamePart(localPath));

  while (flags.webBusy.load() != 0 && webWaits < kMaxWebWaits) {
    if (!clock.SleepFor(kWebWaitMs, stop)) return false;
    ++webWaits;
  }

  std::optional<BusyHold> ftpHold(std::in_place, flags.ftpBusy);
  ServerRecord record = server;
  record.address = destination;
  StatusTarget& status = context_.display.Status();
  ProgressTarget& progress = context_.display.Progress();

  int prepared = PrepareUploadSession(session, record, 0, &status);
  if (stop.stop_requested()) return false;
  if (prepared != 1) {
    context_.display.EntryOutcome(entry->id, entry->text, false);
    index = start + 1;
    // Whatever the failed set-up left open goes before the next attempt.
    Disconnect(session, &status);
    if (stop.stop_requested()) return false;
  } else {
    flags.lastProgressTime.store(clock.MonotonicSeconds());
    int sent = UploadFile(session, session.controlConnection(), record, localPath, &progress, &status);
    if (stop.stop_requested()) return false;
    if (sent == 1) {
      RemoveEntry(entry->id);
      index = start;
    } else {
      index = start + 1;
    }
    context_.display.EntryOutcome(entry->id, entry->text, sent == 1);
    progress.SetProgress(0);
    Disconnect(session, &status);
    if (stop.stop_requested()) return false;
  }

  context_.history.Append(session.Log().Get());
  ftpHold.reset();
  return clock.SleepFor(kBetweenEntriesMs, stop);
}

}  // namespace wexmoor
