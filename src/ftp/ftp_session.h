// One FTP session: its control connection, its data channel, its listener for
// active mode, and its conversation log. Sessions are independent of each
// other; the listener port numbers come from the shared sequence.
//
// A session is used by one thread at a time. Its stop token ends every wait of
// the engine within a slice (~10 ms); a session that notices the stop closes
// all of its sockets and its waits give up at once until a new token is set.
#pragma once

#include <atomic>
#include <cstdint>
#include <stop_token>
#include <vector>

#include "model/conversation_log.h"
#include "ftp/listener_ports.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace wexmoor {

class FtpSession {
 public:
  // `lastProgressTime` (monotonic seconds of `clock`) is refreshed after every
  // block an upload sends. `ipEchoUrl`: the page that echoes the caller's
  // address for active mode behind a router; empty: no page.
  FtpSession(const Clock& clock, ListenerPortSequence& ports,
             std::atomic<std::int64_t>& lastProgressTime, Text ipEchoUrl = {});
  ~FtpSession();
  FtpSession(const FtpSession&) = delete;
  FtpSession& operator=(const FtpSession&) = delete;

  void SetStopToken(std::stop_token stop);
  std::stop_token StopToken() const { return stop_; }
  bool StopRequested() const { return stop_.stop_requested(); }

  ConversationLog& Log() { return log_; }
  const ConversationLog& Log() const { return log_; }
  const Clock& clock() const { return clock_; }
  ListenerPortSequence& ports() { return ports_; }
  std::atomic<std::int64_t>& lastProgressTime() { return lastProgressTime_; }
  const Text& ipEchoUrl() const { return ipEchoUrl_; }
  void SetIpEchoUrl(Text url) { ipEchoUrl_ = std::move(url); }

  // 0 = not connected.
  int controlConnection() const { return controlConnection_.load(); }
  void SetControlConnection(int handle) { controlConnection_.store(handle); }

  // Closes every socket of the session without a word to the server (used
  // when a stop was noticed) and resets the handles.
  void CloseAllSockets();
  // True when the stop was requested; the sockets are then closed.
  bool StopNoticed();

  // Data channel: the open data connection (0 = none) and who opened it:
  // "server" (passive: the engine dialled the server) or "client" (active:
  // the server dialled the engine's listener).
  int dataConnection = 0;
  Text dataConnectionKind;
  // The PORT listener (0 = none), the port it was made on, and the clients
  // it accepted (closed together with it).
  int listener = 0;
  int listenerPort = 0;
  std::vector<int> acceptedClients;
  // The PORT argument announced for the current listener.
  Text portArgument;
  // The dotted address announced by PORT; looked up once per session.
  Text visibleAddress;
  // Bytes sent by the current upload.
  std::int64_t bytesSent = 0;

 private:
  const Clock& clock_;
  ListenerPortSequence& ports_;
  std::atomic<std::int64_t>& lastProgressTime_;
  Text ipEchoUrl_;
  ConversationLog log_;
  std::stop_token stop_;
  std::atomic<int> controlConnection_{0};
};

}  // namespace wexmoor
