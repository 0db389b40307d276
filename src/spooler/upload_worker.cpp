#include "spooler/upload_worker.h"

#include "spooler/upload_lane.h"

#include <unistd.h>

#include <algorithm>
#include <vector>
#include <optional>
#include <utility>

#include "ftp/control_connection.h"
#include "ftp/file_upload.h"
#include "platform/files.h"
#include "spooler/webdav_upload_session.h"
#include "platform/socket.h"
#include "spooler/ftp_upload_session.h"
#include "spooler/retry_schedule.h"
#include "spooler/upload_history.h"

namespace wexmoor {

namespace {
constexpr std::int64_t kStartPauseMs = 100;
constexpr int kIdlePauseMs = 100;
constexpr std::int64_t kRemovedPauseMs = 110;
// A server whose key is not trusted waits for the user, not for a time.
constexpr std::int64_t kTrustHoldMs = std::int64_t{1} << 50;
constexpr std::int64_t kWebWaitMs = 100;
constexpr std::int64_t kIdleSliceMs = 100;

// Entries with the same key go to one remote path: one at a time.
Text RemotePathKey(const QueueEntry& entry) {
  return EntryServerName(entry.text) + u"|" + EntrySubfolder(entry.text) + u"|" +
         RemoteFileName(EntryLocalPath(entry.text));
}

// The server's folder joined with the entry's subfolder.
Text DestinationPath(const Text& address, const Text& subfolder) {
  Text a = address;
  if (!a.empty() && a.back() == u'/') a.pop_back();
  if (!subfolder.empty()) a += u"/" + subfolder;
  return a;
}

// A failed opening for the queue list: the fixed text, then the log's lines
// that say why (errors, a 421 or 530 reply), at most four.
Text OpeningFailure(const Text& log) {
  Text out = u"!!Impossible to initialise connection";
  int kept = 0;
  std::size_t from = 0;
  while (from < log.size() && kept < 4) {
    std::size_t end = log.find(u'\n', from);
    if (end == Text::npos) end = log.size();
    Text line = log.substr(from, end - from);
    from = end + 1;
    while (!line.empty() && (line.back() == u'\r' || line.back() == u' ')) line.pop_back();
    if (line.find(u"!!") != Text::npos || line.find(u">---<421") != Text::npos ||
        line.find(u">---<530") != Text::npos) {
      out += u"\n" + line;
      ++kept;
    }
  }
  return out;
}
}  // namespace

UploadWorker::UploadWorker(WorkerContext& context, DeliveryBook* delivery, DeliveredJournal* journal)
    : context_(context),
      ownBook_(delivery == nullptr ? std::make_unique<DeliveryBook>() : nullptr),
      book_(delivery == nullptr ? *ownBook_ : *delivery),
      journal_(journal) {
  // The one place that picks a session's kind.
  maker_ = [this](const ServerRecord& server,
                  std::atomic<std::int64_t>& lastProgress) -> std::unique_ptr<UploadSession> {
    if (IsWebDav(server.protocol)) {
      return std::make_unique<WebDavUploadSession>(context_.clock, lastProgress, context_.session.trustAsker);
    }
    if (server.protocol == kProtocolSftp) {
      return std::make_unique<SftpUploadSession>(context_.clock, lastProgress,
                                                 context_.sftp != nullptr ? *context_.sftp : SftpSettings{});
    }
    auto ftp = std::make_unique<FtpUploadSession>(context_.clock, context_.session.ports(), lastProgress,
                                                  context_.session.ipEchoUrl());
    ftp->session().trustAsker = context_.session.trustAsker;
    ftp->session().onTlsConfirmed = context_.session.onTlsConfirmed;
    return ftp;
  };
}

UploadWorker::~UploadWorker() { Terminate(); }

void UploadWorker::Start() {
  if (running_.load()) return;
  if (thread_.joinable()) thread_.join();
  running_.store(true);
  stopping_ = false;
  thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void UploadWorker::Terminate() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
  running_.store(false);
}

bool UploadWorker::Running() const { return running_.load(); }

void UploadWorker::RemoveEntry(std::uint64_t id, UploadResult result, UploadRecord record) {
  // By identity: when the user removed this entry meanwhile, nothing else
  // goes.
  if (auto text = context_.queue.RemoveById(id)) {
    context_.removeRing.Put(*text, 0);
    Announce(id, *text, result, std::move(record));
  }
  book_.Forget(id);
}

bool UploadWorker::ReadyNow(const QueueEntry& entry, bool& waiting) {
  const Text local = EntryLocalPath(entry.text);
  if (!IsRegularFile(local) || ::access(PathToNative(local).c_str(), R_OK) != 0) {
    // Checked again on the next pass; no connection until the file is back.
    book_.SetStatus(entry.id, EntryStatus::kLocalMissing, u"!!--- Unable to open \"" + local + u"\"");
    waiting = true;
    return false;
  }
  const std::int64_t now = context_.clock.MonotonicMs();
  const Text server = EntryServerName(entry.text);
  // A key trusted since (its fingerprint stored) ends the server's hold.
  if (!book_.ServerDue(server, now) && TrustedSinceLocked(server)) book_.ServerWorked(server);
  if (!book_.EntryDue(entry.id, now) || !book_.ServerDue(server, now)) {
    book_.SetStatus(entry.id, EntryStatus::kWaiting);
    waiting = true;
    return false;
  }
  return true;
}

void UploadWorker::EntryFailed(std::uint64_t id, const Text& error) {
  std::int64_t wait = 0;
  {
    std::lock_guard lock(randomMutex_);
    wait = RetryDelayMs(book_.EntryFailures(id) + 1, random_);
  }
  book_.EntryFailed(id, error, context_.clock.MonotonicMs() + wait, context_.clock.WallSeconds() + wait / 1000);
}

void UploadWorker::ServerFailed(std::uint64_t id, const Text& server, const Text& error,
                                const ServerRecord* untrusted) {
  {
    std::lock_guard lock(mutex_);
    proven_.erase(server);
    if (untrusted != nullptr)
      untrusted_[server] = *untrusted;
    else
      untrusted_.erase(server);
  }
  const std::int64_t now = context_.clock.MonotonicMs();
  if (untrusted != nullptr) {
    // Held until the key is trusted or the user asks again: the server's
    // hold keeps the entry back, and there is no time to show.
    book_.ServerFailed(server, now + kTrustHoldMs);
    book_.EntryFailed(id, error, now, 0);
    return;
  }
  std::int64_t wait = 0;
  {
    std::lock_guard lock(randomMutex_);
    wait = RetryDelayMs(book_.ServerFailures(server) + 1, random_);
  }
  book_.ServerFailed(server, now + wait);
  book_.EntryFailed(id, error, now + wait, context_.clock.WallSeconds() + wait / 1000);
}

bool UploadWorker::TrustedSinceLocked(const Text& server) {
  const auto held = untrusted_.find(server);
  if (held == untrusted_.end()) return false;
  if (context_.servers.Get(context_.servers.FindServer(server)) == held->second) return false;
  untrusted_.erase(held);
  return true;
}

void UploadWorker::Report(const QueueEntry& entry, UploadResult result, UploadRecord record) {
  Announce(entry.id, entry.text, result, std::move(record));
}

void UploadWorker::Announce(std::uint64_t id, const Text& text, UploadResult result, UploadRecord record) {
  if (context_.recorder) {
    if (record.server.empty()) {
      // Dropped: its server has gone.
      ServerRecord none;
      none.name = EntryServerName(text);
      record = EntryRecord(text, none, result);
      record.reason = u"no server named " + none.name;
    }
    record.id = id;
    record.result = result;
    record.wallSeconds = context_.clock.WallSeconds();
    context_.recorder->Record(record);
  }
  if (context_.outcomes) context_.outcomes->EntryFinished(id, text, result);
  // The display hears of attempts only; a dropped entry was never tried.
  if (result != UploadResult::kDropped) context_.display.EntryOutcome(id, text, result == UploadResult::kSent);
}

void UploadWorker::Run(std::stop_token stop) {
  const Clock& clock = context_.clock;
  bool passOver = false;
  if (clock.SleepFor(kStartPauseMs, stop)) {
    for (;;) {
      context_.flags.lastProgressTime.store(clock.MonotonicSeconds());
      ReapLanes(false);
      StopSilentLanes();
      StopPausedLanes();
      if (passOver) {
        // Every entry had its turn: the failed ones are tried again.
        std::lock_guard lock(mutex_);
        failedThisPass_.clear();
        ++generation_;
        changed_.notify_all();
      }
      const std::uint64_t seen = context_.queue.Appended();
      // A new drop (or hand-over) gives every waiting entry its chance now;
      // a watch folder's arrival does not.
      if (const std::uint64_t ending = context_.queue.WaitEndingAppends(); ending != appendsSeen_) {
        if (appendsSeen_ != 0) book_.ClearWaits();
        appendsSeen_ = ending;
      }
      waitsPending_ = false;
      if (!Dispatch(stop, passOver)) break;
      bool idle = false;
      {
        std::lock_guard lock(mutex_);
        idle = working_ == 0 && std::all_of(lanes_.begin(), lanes_.end(), [](const auto& l) { return l->finished; });
      }
      if (waitsPending_.load() && idle) {
        // Only waiting entries are left: look again after a slice of the
        // clock (a driven clock then moves on only while nothing runs).
        if (!clock.SleepFor(kIdlePauseMs, stop)) break;
      } else if (!context_.queue.WaitForAppend(seen, kIdlePauseMs, stop) && stop.stop_requested()) {
        break;
      }
    }
  }
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  ReapLanes(true);
  running_.store(false);
}

bool UploadWorker::Dispatch(const std::stop_token& stop, bool& passOver) {
  std::optional<std::uint64_t> orphan;
  {
    std::lock_guard lock(mutex_);
    std::map<Text, int> sessions;
    std::set<Text> saturated;
    for (const auto& lane : lanes_) {
      if (lane->finished) continue;
      ++sessions[lane->serverName];
      if (!lane->working) saturated.insert(lane->serverName);  // its waiting session takes it
    }
    const std::size_t serverCount = static_cast<std::size_t>(context_.servers.Count());
    bool claimable = false;
    context_.queue.ForEach([&](const QueueEntry& entry) {
      if (claimed_.contains(entry.id) || failedThisPass_.contains(entry.id)) return true;
      if (Paused(EntryServerName(entry.text))) return true;
      // Another entry goes to the same remote path now: this one waits for it.
      const Text pathKey = RemotePathKey(entry);
      if (PathInFlightLocked(pathKey)) return true;
      bool waiting = false;
      if (!ReadyNow(entry, waiting)) {
        if (waiting) waitsPending_ = true;
        return true;
      }
      claimable = true;
      Text name = EntryServerName(entry.text);
      if (saturated.contains(name)) return true;
      const ServerRecord record = context_.servers.Get(context_.servers.FindServer(name));
      if (record.name != name) {
        orphan = entry.id;  // its server has gone: the entry goes unsent
        return false;
      }
      int cap = UploadConnections(record);
      // A server not yet seen to work, or failing, gets one session: a dead
      // server is knocked on once per wait, not once per connection.
      if (!proven_.contains(name)) cap = 1;
      if (auto refused = refusedCap_.find(name); refused != refusedCap_.end()) cap = std::min(cap, refused->second);
      int& count = sessions[name];
      if (count < cap) {
        ++count;
        claimed_.insert(entry.id);
        claimedPaths_[entry.id] = pathKey;
        auto& lane = lanes_.emplace_back(std::make_unique<Lane>(*this, name, entry));
        lane->thread = std::jthread([this, l = lane.get()](std::stop_token laneStop) { RunLane(*l, laneStop); });
      }
      if (count >= cap) saturated.insert(name);
      return saturated.size() < serverCount;
    });
    passOver = !claimable && working_ == 0;
    if (claimable) {
      ++generation_;
      changed_.notify_all();
    }
  }
  if (orphan) {
    RemoveEntry(*orphan, UploadResult::kDropped);
    return context_.clock.SleepFor(kRemovedPauseMs, stop);
  }
  return !stop.stop_requested();
}

void UploadWorker::RunLane(Lane& lane, std::stop_token stop) {
  std::optional<QueueEntry> entry = std::move(lane.first);
  while (entry && !stop.stop_requested()) {
    if (!HandleEntry(lane, *entry, stop)) break;
    entry = std::exchange(lane.next, std::nullopt);
    if (entry && context_.queue.FindById(entry->id) < 0) {
      Release(entry->id, false);  // removed by the user meanwhile
      entry.reset();
    }
    if (!entry) entry = NextEntry(lane, stop);
  }
  if (lane.next) Release(lane.next->id, false);
  // Goodbye to the server; after a stop the engine has closed everything.
  if (lane.session) lane.session->Close(nullptr);
  std::lock_guard lock(mutex_);
  lane.finished = true;
}

bool UploadWorker::HandleEntry(Lane& lane, const QueueEntry& entry, const std::stop_token& stop) {
  const Clock& clock = context_.clock;
  const Text serverName = EntryServerName(entry.text);
  const Text localPath = EntryLocalPath(entry.text);
  const ServerRecord record = context_.servers.Get(context_.servers.FindServer(serverName));
  if (record.name != serverName) {
    RemoveEntry(entry.id, UploadResult::kDropped);
    Release(entry.id, false);
    clock.SleepFor(kRemovedPauseMs, stop);
    return false;
  }
  if (lane.session && lane.session->IsOpen() && record != lane.record) {
    lane.session->Close(nullptr);  // the record changed: log in afresh
  }
  if (lane.session && record.protocol != lane.record.protocol) {
    lane.session->Close(nullptr);  // another protocol: another kind of session
    lane.session.reset();
  }
  lane.record = record;
  if (!lane.session) {
    lane.session = maker_(record, lane.lastProgress);
    lane.session->SetStopToken(stop);
    if (context_.limits != nullptr) {
      lane.limit.emplace(*context_.limits, lane.serverName, stop);
      lane.session->SetTransferObserver(&*lane.limit);
    }
  }
  const Text folderPath = SplitServerAddress(DestinationPath(record.address, EntrySubfolder(entry.text))).folderPath;
  const std::int64_t began = clock.MonotonicMs();

  lane.lastProgress.store(clock.MonotonicSeconds());
  SetWorking(lane, true);
  context_.display.SetCurrentFile(FileNamePart(localPath));
  while (context_.flags.webBusy.load() != 0 && webWaits_.load() < kMaxWebWaits) {
    if (!clock.SleepFor(kWebWaitMs, stop)) break;
    ++webWaits_;
  }

  UploadSession& session = *lane.session;
  EntryOutcome outcome = EntryOutcome::kFailed;
  bool retried = false;
  // --- Delivery rules: the entry's part goes with it; a failed opening holds
  // the server back. ---
  book_.SetStatus(entry.id, EntryStatus::kUploading);
  PartRecord part = book_.Get(entry.id).part;
  session.UsePart(&part, [this, &entry](const PartRecord& begun) {
    // On the disk before the first byte (and before the rename): a part
    // begun here is this entry's alone, even after a crash.
    book_.SetPart(entry.id, begun);
    if (journal_ != nullptr) journal_->AddPart(entry.text, begun);
  });
  bool serverFault = false;
  bool untrusted = false;
  while (!stop.stop_requested()) {
    if (!session.IsOpen()) {
      const SessionOpening opening = session.Open(record, &lane.display);
      if (stop.stop_requested()) break;
      if (opening == SessionOpening::kRefused) {
        // Refused while other sessions of this server are logged in (or
        // logging in): the server has as many as it takes. Not the entry's
        // fault.
        bool first = false;
        int others = 0;
        {
          std::lock_guard lock(mutex_);
          others = OthersLocked(lane);
          if (others > 0) {
            first = !refusedCap_.contains(serverName);
            int& cap = refusedCap_.try_emplace(serverName, others).first->second;
            cap = std::min(cap, others);
          }
        }
        if (others > 0) {
          Text log = session.TakeLog();
          if (first) {
            log += u"----- " + serverName + u" takes no further connection: going on with " + IntToText(others) +
                   u"\r\n";
          }
          context_.history.Append(log);
          Release(entry.id, false);
          SetWorking(lane, false);
          return false;
        }
      }
      if (opening != SessionOpening::kOpen) {
        serverFault = true;
        untrusted = opening == SessionOpening::kUntrusted;
        break;
      }
      book_.ServerWorked(serverName);
      {
        std::lock_guard lock(mutex_);
        proven_.insert(serverName);
        untrusted_.erase(serverName);
      }
    }
    ClaimNextEarly(lane, session, localPath);
    outcome = session.Upload(localPath, folderPath, &lane.display, &lane.display);
    if (outcome != EntryOutcome::kDead || retried) break;
    // A kept session that died while it waited costs one more try.
    retried = true;
    context_.history.Append(session.TakeLog());
  }
  session.UsePart(nullptr);
  book_.SetPart(entry.id, part);
  if (stop.stop_requested() || outcome == EntryOutcome::kStopped) {
    book_.SetStatus(entry.id, EntryStatus::kQueued);
    // Stopped by a pause: the status line says so instead of the stop.
    if (Paused(serverName)) lane.display.SetStatusText(u"----- Paused");
    Release(entry.id, false);
    SetWorking(lane, false);
    return false;
  }
  const Text log = session.TakeLog();
  context_.history.Append(log);
  lane.display.SetProgress(0);
  // What the history says of this attempt.
  UploadRecord said = EntryRecord(entry.text, record, outcome == EntryOutcome::kSent ? UploadResult::kSent
                                                                                     : UploadResult::kFailed);
  said.milliseconds = clock.MonotonicMs() - began;
  if (outcome == EntryOutcome::kSent) {
    said.verification = session.LastVerification();
  } else {
    said.reason = serverFault ? OpeningFailure(log) : session.LastError();
    // Without the log's marks: "!!--- hash mismatch: …" says "hash mismatch: …".
    while (!said.reason.empty() && (said.reason.front() == u'!' || said.reason.front() == u'-' || said.reason.front() == u' '))
      said.reason.erase(0, 1);
    said.link.clear();
  }
  if (outcome == EntryOutcome::kSent) {
    // The file as it was when its upload began: a change since then is sent
    // again.
    if (journal_ != nullptr) {
      PartRecord sent = session.LastStamp();
      if (!sent.Begun()) sent = PartRecord{FileSize(localPath), FileModificationTime(localPath).value_or(0)};
      journal_->Add(entry.text, PartRecord{sent.localSize, sent.localMtime}, entry.id);
    }
    RemoveEntry(entry.id, UploadResult::kSent, std::move(said));
  } else if (serverFault || session.LastFailure() == DeliveryFailure::kServerGone) {
    ServerFailed(entry.id, serverName, serverFault ? OpeningFailure(log) : session.LastError(),
                 untrusted ? &record : nullptr);
    Report(entry, UploadResult::kFailed, std::move(said));
    // The server waits now: this session has nothing more to do.
    Release(entry.id, true);
    SetWorking(lane, false);
    return false;
  } else if (session.LastFailure() == DeliveryFailure::kLocalFile) {
    book_.SetStatus(entry.id, EntryStatus::kLocalMissing, session.LastError());
  } else {
    EntryFailed(entry.id, session.LastError());
  }
  if (outcome != EntryOutcome::kSent) Report(entry, UploadResult::kFailed, std::move(said));
  Release(entry.id, outcome != EntryOutcome::kSent);
  SetWorking(lane, false);
  return true;
}

std::optional<QueueEntry> UploadWorker::ClaimLocked(const Text& serverName) {
  std::optional<QueueEntry> found;
  context_.queue.ForEach([&](const QueueEntry& entry) {
    if (claimed_.contains(entry.id) || failedThisPass_.contains(entry.id)) return true;
    if (EntryServerName(entry.text) != serverName || Paused(serverName)) return true;
    if (PathInFlightLocked(RemotePathKey(entry))) return true;
    bool waiting = false;
    if (!ReadyNow(entry, waiting)) {
      if (waiting) waitsPending_ = true;
      return true;
    }
    found = entry;
    return false;
  });
  if (found) {
    claimed_.insert(found->id);
    claimedPaths_[found->id] = RemotePathKey(*found);
  }
  return found;
}

void UploadWorker::ClaimNextEarly(Lane& lane, UploadSession& session, const Text& localPath) {
  const std::int64_t limit = session.OverlapBytes();
  if (limit <= 0 || FileSize(localPath) > limit) return;
  if (!lane.next) {
    std::lock_guard lock(mutex_);
    lane.next = ClaimLocked(lane.serverName);
  }
  if (!lane.next) return;
  if (FileSize(EntryLocalPath(lane.next->text)) > limit) {
    // Another session may take it while this one works.
    Release(std::exchange(lane.next, std::nullopt)->id, false);
    return;
  }
  const ServerRecord& record = lane.record;
  session.ExpectNext(ExpectedEntry{
      EntryLocalPath(lane.next->text),
      SplitServerAddress(DestinationPath(record.address, EntrySubfolder(lane.next->text))).folderPath,
      book_.Get(lane.next->id).part.Begun()});
}

std::optional<QueueEntry> UploadWorker::NextEntry(Lane& lane, const std::stop_token& stop) {
  const std::int64_t until = NetworkMs() + kKeepSessionMs;
  std::unique_lock lock(mutex_);
  for (;;) {
    if (auto entry = ClaimLocked(lane.serverName)) return entry;
    const std::int64_t left = until - NetworkMs();
    if (stop.stop_requested() || left <= 0) return std::nullopt;
    // A changed or deleted record ends the session at once.
    const ServerRecord record = context_.servers.Get(context_.servers.FindServer(lane.serverName));
    if (record != lane.record) return std::nullopt;
    const std::uint64_t seen = generation_;
    changed_.wait_for(lock, stop, std::chrono::milliseconds(std::min(left, kIdleSliceMs)),
                      [&] { return generation_ != seen; });
  }
}

void UploadWorker::Release(std::uint64_t id, bool failed) {
  std::lock_guard lock(mutex_);
  claimed_.erase(id);
  claimedPaths_.erase(id);
  if (failed) failedThisPass_.insert(id);
  ++generation_;
  changed_.notify_all();
}

}  // namespace wexmoor
