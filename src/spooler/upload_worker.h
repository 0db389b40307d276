// The upload worker: a scheduler thread that hands the queue's entries, in
// queue order, to upload sessions, each session on a thread of its own. A
// server gets up to its connection count of sessions at once; each entry is
// taken by exactly one of them. A session keeps its login while entries for
// its server remain and says goodbye 5 s after the last one, or at once when
// the server's record is changed or deleted. An uploaded entry is removed;
// a failed one stays and is tried again on the next pass over the queue,
// without limit.
//
// A session that shows no progress for 150 s is stopped and replaced, its
// entry staying queued; the others go on. Terminating the worker is a stop
// request that every wait of the scheduler, the sessions and the FTP engine
// honours, then a join: within a fraction of a second, the entries in hand
// stay queued and nothing shared is touched afterwards.
//
// A failed entry waits before its next attempt (RetryDelayMs: 5 s, 10, 20 ...
// up to 5 min); a server that cannot be reached or refuses the login holds
// back all of its entries for such a wait, so it gets one attempt per wait.
// A server whose host key or certificate is not trusted holds its entries
// back until its record changes (the key trusted) or the user asks again (a
// drop, a hand-over, "Retry now"): the key costs one connection, not one per
// wait.
// An entry whose local file is missing makes no connection. A new drop ends
// every wait.
//
// Paused (the whole queue, or one server): nothing of it starts, and its
// running uploads are stopped within a pass (100 ms) and keep their parts,
// so that they continue from there once resumed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <optional>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <stop_token>
#include <thread>

#include "ftp/ftp_session.h"
#include "model/delivery_book.h"
#include "model/queue_pause.h"
#include "platform/clock.h"
#include "model/upload_limits.h"
#include "model/upload_queue.h"
#include "spooler/sftp_upload_session.h"
#include "spooler/upload_session.h"
#include "spooler/upload_outcomes.h"
#include "spooler/worker_display.h"
#include "settings/delivered_journal.h"
#include "model/server_table.h"
#include "model/shared_state.h"
#include "model/ui_message_ring.h"

namespace wexmoor {

struct WorkerContext {
  UploadQueue& queue;
  ServerTable& servers;
  UiMessageRing& removeRing;
  SharedFlags& flags;
  SessionHistory& history;
  // The model for the worker's sessions: their clock, listener ports and
  // echo page come from it.
  FtpSession& session;
  const Clock& clock;
  WorkerDisplay& display;
  // Told each entry's result, when given.
  UploadOutcomes* outcomes = nullptr;
  // What SFTP sessions need from the composition root (null: no ~/.ssh, no
  // agent, nobody to ask about host keys).
  const SftpSettings* sftp = nullptr;
  // Hears each result with what is known of it (the upload history), when given.
  UploadRecorder* recorder = nullptr;
  // What the user paused (null: nothing ever is).
  const QueuePause* pause = nullptr;
  // The upload rate limits every session keeps to, when given.
  UploadLimits* limits = nullptr;
};

// Makes the session for one of the worker's threads (by default the kind the
// record's protocol names); `lastProgressTime`
// belongs to that thread and must follow every block sent.
using UploadSessionMaker =
    std::function<std::unique_ptr<UploadSession>(const ServerRecord& server, std::atomic<std::int64_t>& lastProgressTime)>;

class UploadWorker {
 public:
  // Waits for the web side's busy flag at most this many times (100 ms each)
  // in one worker's life.
  static constexpr int kMaxWebWaits = 30;
  // A session with nothing to do waits this long for a further entry.
  static constexpr std::int64_t kKeepSessionMs = 5000;
  static constexpr std::int64_t kSessionSilenceMs = 150'000;

  // `delivery` keeps the entries' parts, states and waits (the worker keeps
  // its own book when none is given); `journal` (optional) records each
  // delivery before its entry leaves the queue.
  explicit UploadWorker(WorkerContext& context, DeliveryBook* delivery = nullptr,
                        DeliveredJournal* journal = nullptr);
  ~UploadWorker();  // terminates
  UploadWorker(const UploadWorker&) = delete;
  UploadWorker& operator=(const UploadWorker&) = delete;

  // Sessions of another kind (FTP, or SFTP for its records, by default);
  // before Start.
  void SetSessionMaker(UploadSessionMaker maker) { maker_ = std::move(maker); }
  // How long a session may go without progress; before Start.
  void SetSessionSilenceLimit(std::int64_t ms) { silenceLimitMs_ = ms; }

  // Starts the thread (nothing when it runs already).
  void Start();
  // Stop request and join; returns within a fraction of a second.
  void Terminate();
  bool Running() const;

  // Sessions running now (working or waiting for an entry).
  int SessionCount() const;
  // Sessions replaced because they went silent.
  int SilentSessionsReplaced() const { return silentReplaced_.load(); }

 private:
  struct Lane;
  class LaneDisplay;

  void Run(std::stop_token stop);
  // Starts sessions for unclaimed entries; false when the stop was seen.
  // `passOver`: no entry was left to take and none is in hand.
  bool Dispatch(const std::stop_token& stop, bool& passOver);
  void RunLane(Lane& lane, std::stop_token stop);
  // One entry on the lane's session; false when the lane should end.
  bool HandleEntry(Lane& lane, const QueueEntry& entry, const std::stop_token& stop);
  // The first unclaimed entry of `serverName` not yet failed in this pass,
  // claimed for `lane`; under mutex_.
  std::optional<QueueEntry> ClaimLocked(const Text& serverName);
  // For a session that overlaps files: the entry after the one in hand,
  // claimed now (one upload per remote path still holds) and announced to it.
  void ClaimNextEarly(Lane& lane, UploadSession& session, const Text& localPath);
  // Waits up to kKeepSessionMs for a further entry of the lane's server.
  std::optional<QueueEntry> NextEntry(Lane& lane, const std::stop_token& stop);
  void Release(std::uint64_t id, bool failed);
  // --- Delivery rules ---
  // Whether `entry` may be tried now: neither it nor its server waits, and
  // its local file is there (else it is marked missing). Sets `waiting` when
  // a wait held it back.
  bool ReadyNow(const QueueEntry& entry, bool& waiting);
  void EntryFailed(std::uint64_t id, const Text& error);
  // `untrusted`: the record with which the server's key was not trusted
  // (null for any other failure).
  void ServerFailed(std::uint64_t id, const Text& server, const Text& error,
                    const ServerRecord* untrusted = nullptr);
  // The server waits for trust and its record changed since; under mutex_.
  bool TrustedSinceLocked(const Text& server);
  // Removes the entry by identity and, when it was still queued, reports `result`.
  void RemoveEntry(std::uint64_t id, UploadResult result, UploadRecord record = {});
  void StopSilentLanes();
  // Asks the sessions of paused servers to stop (their entries stay queued,
  // with their parts); never waits for them.
  void StopPausedLanes();
  bool Paused(const Text& serverName) const;
  void ReapLanes(bool all);
  // An entry with this remote path key is claimed; under mutex_.
  bool PathInFlightLocked(const Text& key) const;
  // Sessions of the lane's server besides the lane's own.
  int OthersLocked(const Lane& lane) const;
  bool IsFrontLocked(const Lane& lane) const;
  void SetWorking(Lane& lane, bool working);
  void Report(const QueueEntry& entry, UploadResult result, UploadRecord record);
  // Tells the watch folders' outcomes, the recorder and the display what
  // became of an entry (`record`: what the attempt knows of it).
  void Announce(std::uint64_t id, const Text& text, UploadResult result, UploadRecord record);

  WorkerContext& context_;
  std::unique_ptr<DeliveryBook> ownBook_;
  DeliveryBook& book_;
  DeliveredJournal* journal_;
  std::mutex randomMutex_;
  std::mt19937 random_{std::random_device{}()};
  std::uint64_t appendsSeen_ = 0;
  std::atomic<bool> waitsPending_{false};
  UploadSessionMaker maker_;
  std::int64_t silenceLimitMs_ = kSessionSilenceMs;
  std::jthread thread_;
  std::atomic<bool> running_{false};
  std::atomic<int> webWaits_{0};
  std::atomic<int> silentReplaced_{0};

  mutable std::mutex mutex_;
  std::condition_variable_any changed_;  // entries released, pass restarted
  std::set<std::uint64_t> claimed_;
  std::map<std::uint64_t, Text> claimedPaths_;  // claimed entries' remote path keys
  std::set<std::uint64_t> failedThisPass_;
  std::map<Text, int> refusedCap_;  // servers that refused a further session
  std::set<Text> proven_;  // servers a session of which logged in since their last failure
  std::map<Text, ServerRecord> untrusted_;  // servers held for trust, with the record then
  std::list<std::unique_ptr<Lane>> lanes_;
  std::uint64_t startCount_ = 0;
  int working_ = 0;
  std::uint64_t generation_ = 0;
  bool stopping_ = false;
};

}  // namespace wexmoor
