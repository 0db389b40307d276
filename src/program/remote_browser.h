// The remote browser's listing: runs on a thread of its own with an FTP (or
// SFTP) session of its own (its own connections, listener and log), so it never
// disturbs the upload worker's session and never freezes the window.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <thread>

#include "ftp/ftp_session.h"
#include "ftp/listener_ports.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "model/server_table.h"
#include "model/shared_state.h"
#include "spooler/sftp_upload_session.h"

namespace wexmoor {

struct RemoteBrowserContext {
  SharedFlags& flags;
  SessionHistory& history;
  ListenerPortSequence& ports;
  const Clock& clock;
  Text ipEchoUrl;
  // Where an untrusted certificate is reported (null: nowhere).
  CertificateTrustAsker* trustAsker = nullptr;
  // For SFTP servers: ~/.ssh, the agent, where unknown host keys go.
  SftpSettings sftp;
};

class RemoteBrowser {
 public:
  // Both are called on the listing's thread and must only hand the text over
  // (the window uses CallAfter). `done` gets the listing result or the
  // engine's error text; it is the last thing a listing does, and it is not
  // called for a listing that was stopped.
  using StatusSink = std::function<void(const Text& line)>;
  using DoneSink = std::function<void(const Text& result)>;

  RemoteBrowser(const RemoteBrowserContext& context, StatusSink status, DoneSink done);
  ~RemoteBrowser();  // stops and joins
  RemoteBrowser(const RemoteBrowser&) = delete;
  RemoteBrowser& operator=(const RemoteBrowser&) = delete;

  // Starts listing `record`'s folder; false (nothing started) while a listing runs.
  bool Start(ServerRecord record);
  bool Running() const { return running_.load(); }
  // Ends a running listing (its waits end within a slice) and joins it.
  void Stop();

 private:
  class StatusForwarder;
  void Run(std::stop_token stop, ServerRecord record);

  RemoteBrowserContext context_;
  StatusSink status_;
  DoneSink done_;
  // The browser sends no upload blocks; its own value keeps the upload
  // watchdog's clock out of its hands.
  std::atomic<std::int64_t> ownProgressTime_{0};
  FtpSession session_;
  std::atomic<bool> running_{false};
  std::jthread thread_;
};

}  // namespace wexmoor
