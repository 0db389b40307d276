// One FTP session: its control connection, its data channel, its listener for
// active mode, and its conversation log. Sessions are independent of each
// other; the listener port numbers come from the shared sequence.
//
// A session is used by one thread at a time. Its stop token ends every wait of
// the engine within a slice (~10 ms); a session that notices the stop closes
// all of its sockets and its waits give up at once until a new token is set.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "model/conversation_log.h"
#include "ftp/listener_ports.h"
#include "ftp/tls_stream.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace wexmoor {

struct CertificateSummary;

// Asked when a server shows a certificate that is not trusted yet (or no
// longer matches the trusted one). Called on the engine's thread; it must
// not wait for the user: the connection is closed anyway and the entry stays
// queued, so a later attempt finds the fingerprint if the user trusted it.
class CertificateTrustAsker {
 public:
  virtual ~CertificateTrustAsker() = default;
  virtual void AskTrust(const Text& serverName, const CertificateSummary& summary, bool changed) = 0;
};

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
  // A new control connection (or none) starts with nothing read ahead and
  // nothing dropped.
  void SetControlConnection(int handle) {
    controlConnection_.store(handle);
    ForgetReplyState();
  }

  // Bytes of the control connection read past the last whole reply: the
  // start of the next one.
  std::string readAhead;
  int readAheadHandle = 0;
  // A connection the reader gave up on (no whole reply within the reply
  // time-out, or a reply past its bounds): nothing more is sent or read on
  // it; the caller closes it. 0: none.
  int droppedConnection = 0;
  // A command that was not sent because the conversation's character set
  // cannot hold it: the reply the next read gives in its place (553 ...).
  Text unsentReply;
  void ForgetReplyState() {
    unsentReply.clear();
    readAhead.clear();
    readAheadHandle = 0;
    droppedConnection = 0;
    storeAhead.clear();
  }

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
  // Uploads send the file in blocks of this size, read into a buffer and
  // sent; with `zeroCopy` the file is handed to the socket (sendfile)
  // instead. Reading and sending measured faster on loopback (about 1.1 to
  // 1.4 times sendfile's rate, with more CPU), so it is the default.
  static constexpr std::size_t kDefaultSendBlock = 64 * 1024;  // best of 64 KiB to 4 MiB measured
  std::size_t sendBlockSize = kDefaultSendBlock;
  bool zeroCopy = false;
  // Control replies (ReadReply with rawMode 0): the last one, and the first
  // one read since `repliesRead` was last set to 0.
  Text lastReply;
  Text firstReply;
  int repliesRead = 0;
  // The reply to FEAT at the last login (empty: refused, or no login yet).
  Text featReply;
  // The server's greeting at the last connection.
  Text greeting;
  // A reply came that cannot answer the command it was read for, while
  // commands went together: the conversation is out of step (the caller
  // drops it and speaks one command at a time).
  bool outOfStep = false;
  // The replies out of step were those to commands sent behind a transfer's
  // data, come before its closing reply: the server answers while its
  // transfer drains.
  bool behindCrossed = false;
  // The last size check read the SIZE that went behind the data.
  bool sizeFromBehind = false;
  // The 227 reply to a PASV sent ahead with the previous file's RNTO, and
  // when it came (session clock, ms): the next data connection's address,
  // while fresh. Empty when none waits.
  Text passiveAhead;
  std::int64_t passiveAheadMs = 0;
  // The name a STOR was sent for right behind that PASV, its reply not read
  // yet: the server waits for that file's data connection, and nothing else
  // is asked of it until the file is sent or the STOR settled
  // (SettleStoreAhead). Empty when none waits.
  Text storeAhead;

  // Called once TLS worked on a server whose record asked for TLS only when
  // offered, with that server's name: the caller stores it as TLS required,
  // so that a later refusal of TLS is never taken for a plain server.
  std::function<void(const Text& serverName)> onTlsConfirmed;

  // The command announcing the listener: "PORT" on IPv4, "EPRT" on IPv6.
  Text portVerb = u"PORT";

  // TLS. The context (trust store, the control connection's TLS session that
  // data connections resume) lives as long as the session object, so a kept
  // session carries it; the streams live as long as their sockets.
  TlsContext& tls();
  std::unique_ptr<TlsStream> controlTls;
  std::unique_ptr<TlsStream> dataTls;
  // PROT P accepted: every data connection starts TLS.
  bool dataProtected = false;
  // The host name the certificate was checked for, and its fingerprint (a data
  // connection must show the same certificate).
  std::string tlsHost;
  Text tlsFingerprint;
  // Where unknown certificates are reported (null: nobody to ask).
  CertificateTrustAsker* trustAsker = nullptr;
  // Tests: further trusted roots, and the highest TLS version (0: any).
  void SetTlsTestOptions(std::string extraCaFile, int maxVersion);
  // The TLS stream over `handle` when it is this session's control or data
  // connection in TLS; null otherwise.
  TlsStream* TlsOf(int handle) const;
  // Forgets the control connection's TLS state (its socket is closed elsewhere).
  void EndControlTls();

 private:
  const Clock& clock_;
  ListenerPortSequence& ports_;
  std::atomic<std::int64_t>& lastProgressTime_;
  Text ipEchoUrl_;
  ConversationLog log_;
  std::stop_token stop_;
  std::atomic<int> controlConnection_{0};
  std::unique_ptr<TlsContext> tls_;
  std::string tlsCaFile_;
  int tlsMaxVersion_ = 0;
};

}  // namespace wexmoor
