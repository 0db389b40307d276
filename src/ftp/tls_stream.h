// TLS on the client side over one of the engine's non-blocking sockets
// (OpenSSL 3). The handshake, the shutdown and every wait run in bounded,
// stop-aware slices like the plain socket calls; reads and writes never block.
//
// A TlsContext holds what the connections of one FTP session share: the
// system trust store and the last session the server handed out, so that a
// data connection can resume the control connection's session (servers that
// insist on it refuse the data otherwise). Under TLS 1.3 the server sends its
// session tickets after the handshake; they are taken in whenever the
// control connection is read, which happens before any data connection.
#pragma once

#include <cstddef>
#include <memory>
#include <stop_token>
#include <string>

#include "platform/socket.h"

struct ssl_st;
struct ssl_ctx_st;
struct ssl_session_st;
struct x509_st;
struct bio_method_st;

namespace wexmoor {

class TlsContext {
 public:
  // `extraCaFile`: a PEM file of further trusted roots (tests); empty: none.
  explicit TlsContext(const std::string& extraCaFile = {});
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  bool ok() const { return ctx_ != nullptr; }
  ssl_ctx_st* raw() const { return ctx_; }
  bio_method_st* socketMethod() const { return method_; }
  // Highest protocol version allowed, as OpenSSL's TLS1_2_VERSION etc.
  // (0: the library's highest). For tests and benchmarks.
  void SetMaxVersion(int version);

  // The newest session the server issued on the control connection (null
  // when none). Replaced by every new ticket; forgotten by Forget().
  ssl_session_st* session() const { return session_; }
  void Remember(ssl_session_st* session);  // takes the reference
  void Forget();

 private:
  ssl_ctx_st* ctx_ = nullptr;
  bio_method_st* method_ = nullptr;
  ssl_session_st* session_ = nullptr;
};

class TlsStream {
 public:
  // Starts TLS on `handle` (not owned: the caller closes it). `hostName` is
  // sent as SNI and checked against the certificate unless it is an address
  // literal, in which case the address is checked. `resume`: the session to
  // offer (data connections); `remember`: new sessions go to the context
  // (the control connection).
  TlsStream(TlsContext& context, int handle, const std::string& hostName, bool resume, bool remember);
  ~TlsStream();
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  int handle() const { return handle_; }

  // Runs the handshake; true when done. On failure `error` holds a short text
  // (the library's reason, "time-out" or "stopped").
  bool Handshake(int timeoutMs, std::stop_token stop, std::string& error);

  // Up to `size` bytes of application data: the count, 0 when none is there
  // yet, -1 when the peer closed (close_notify or end of stream) or on error.
  long ReadSome(void* buffer, std::size_t size);
  // The count accepted, 0 when the socket cannot take anything now, -1 on error.
  long WriteSome(const void* data, std::size_t size);
  // Ready at once when decrypted data is buffered; otherwise waits on the
  // socket in the direction the last call asked for.
  WaitResult WaitReadable(int timeoutMs, std::stop_token stop);
  WaitResult WaitWritable(int timeoutMs, std::stop_token stop);

  // Sends close_notify and waits (bounded) for the peer's close_notify or the
  // end of the stream, so the peer has read everything before the socket goes.
  void Shutdown(int timeoutMs, std::stop_token stop);

  bool SessionReused() const;
  // "TLSv1.3", "TLSv1.2", ...
  std::string Version() const;
  // The peer's certificate (owned by the stream), or null.
  x509_st* PeerCertificate() const;
  // True when the chain verified against the trust store and the name matched.
  bool VerifiedByStore() const;

 private:
  enum class Want { kRead, kWrite };
  WaitResult WaitFor(Want want, int timeoutMs, const std::stop_token& stop);
  // After a read or write that did not complete: 0 with want_ set when TLS
  // needs the socket readable or writable first, -1 on an error (which ends
  // the stream when `endOnError`).
  long Unfinished(bool endOnError);

  ssl_st* ssl_ = nullptr;
  int handle_ = 0;
  Want want_ = Want::kRead;
  bool closed_ = false;
};

}  // namespace wexmoor
