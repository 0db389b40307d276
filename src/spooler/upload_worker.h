// The upload worker: one background thread that takes the queue's entries in
// order, uploads each to the server it names and removes it when the upload
// succeeded. Failed entries stay and are tried again without limit, after a
// growing wait (RetryDelayMs); a server that cannot be reached or refuses the
// login holds back all of its entries for such a wait. An entry whose local
// file is missing makes no connection. Terminating the worker is a stop request that every wait of the
// worker and of the FTP engine honours, then a join; the entry in hand stays
// queued and the worker touches nothing shared once it has seen the stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <random>
#include <stop_token>
#include <thread>

#include "ftp/ftp_session.h"
#include "model/delivery_book.h"
#include "platform/clock.h"
#include "spooler/upload_queue.h"
#include "spooler/worker_display.h"
#include "startup/delivered_journal.h"
#include "startup/server_table.h"
#include "startup/shared_state.h"
#include "startup/ui_message_ring.h"

namespace wexmoor {

struct WorkerContext {
  UploadQueue& queue;
  ServerTable& servers;
  UiMessageRing& removeRing;
  SharedFlags& flags;
  SessionHistory& history;
  FtpSession& session;
  const Clock& clock;
  WorkerDisplay& display;
};

class UploadWorker {
 public:
  // Waits for the web side's busy flag at most this many times (100 ms each)
  // in one worker's life.
  static constexpr int kMaxWebWaits = 30;

  // `delivery` keeps the entries' parts, states and waits (the worker keeps
  // its own book when none is given).
  // `journal` (optional) records each delivery at once, before the entry
  // leaves the queue.
  explicit UploadWorker(WorkerContext& context, DeliveryBook* delivery = nullptr, DeliveredJournal* journal = nullptr);
  ~UploadWorker();  // terminates
  UploadWorker(const UploadWorker&) = delete;
  UploadWorker& operator=(const UploadWorker&) = delete;

  // Starts the thread (nothing when it runs already).
  void Start();
  // Stop request and join; returns within a fraction of a second.
  void Terminate();
  bool Running() const;

 private:
  void Run(std::stop_token stop);
  // One entry's turn; false when the stop was seen.
  bool HandleEntry(const std::stop_token& stop, int& index, int& webWaits, bool& restartPass);
  void RemoveEntry(std::uint64_t id);
  // The entry's turn once the server is known: waits, local check, session,
  // delivery and what follows from its outcome.
  bool DeliverEntry(const std::stop_token& stop, const QueueEntry& entry, const Text& serverName,
                    const ServerRecord& record, int start, int& index);
  void EntryFailed(std::uint64_t id, const Text& error);
  void ServerFailed(std::uint64_t id, const Text& server, const Text& error);

  WorkerContext& context_;
  std::unique_ptr<DeliveryBook> ownBook_;
  DeliveryBook& book_;
  DeliveredJournal* journal_;
  std::mt19937 random_{std::random_device{}()};
  std::uint64_t appendsSeen_ = 0;
  std::jthread thread_;
  std::atomic<bool> running_{false};
};

}  // namespace wexmoor
