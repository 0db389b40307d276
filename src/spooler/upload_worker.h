// The upload worker: one background thread that takes the queue's entries in
// order, uploads each to the server it names and removes it when the upload
// succeeded. Failed entries stay and are tried again on the next pass, without
// limit. Terminating the worker is a stop request that every wait of the
// worker and of the FTP engine honours, then a join; the entry in hand stays
// queued and the worker touches nothing shared once it has seen the stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <stop_token>
#include <thread>

#include "ftp/ftp_session.h"
#include "platform/clock.h"
#include "model/upload_queue.h"
#include "spooler/worker_display.h"
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
  FtpSession& session;
  const Clock& clock;
  WorkerDisplay& display;
};

class UploadWorker {
 public:
  // Waits for the web side's busy flag at most this many times (100 ms each)
  // in one worker's life.
  static constexpr int kMaxWebWaits = 30;

  explicit UploadWorker(WorkerContext& context);
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

  WorkerContext& context_;
  std::jthread thread_;
  std::atomic<bool> running_{false};
};

}  // namespace wexmoor
