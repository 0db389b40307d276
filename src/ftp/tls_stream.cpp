#include "ftp/tls_stream.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace wexmoor {
namespace {

// The socket under a stream: send() with MSG_NOSIGNAL, so a peer that went
// away gives an error instead of SIGPIPE; "would block" sets the retry flags.
int BioWrite(BIO* bio, const char* data, int size) {
  const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
  BIO_clear_retry_flags(bio);
  for (;;) {
    const ssize_t n = send(fd, data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) BIO_set_retry_write(bio);
    return -1;
  }
}

int BioRead(BIO* bio, char* buffer, int size) {
  const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
  BIO_clear_retry_flags(bio);
  for (;;) {
    const ssize_t n = recv(fd, buffer, static_cast<std::size_t>(size), 0);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) BIO_set_retry_read(bio);
    return -1;
  }
}

long BioControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int BioCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

std::string LibraryError() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "connection closed";
  const char* reason = ERR_reason_error_string(code);
  return reason != nullptr ? reason : "TLS error";
}

// New sessions of a control connection go to its context.
int NewSession(SSL* ssl, SSL_SESSION* session) {
  auto* context = static_cast<TlsContext*>(SSL_get_app_data(ssl));
  if (context == nullptr) return 0;
  context->Remember(session);
  return 1;
}

}  // namespace

TlsContext::TlsContext(const std::string& extraCaFile) {
  method_ = BIO_meth_new(BIO_TYPE_SOURCE_SINK, "wexmoor socket");
  if (method_ != nullptr) {
    BIO_meth_set_write(method_, BioWrite);
    BIO_meth_set_read(method_, BioRead);
    BIO_meth_set_ctrl(method_, BioControl);
    BIO_meth_set_create(method_, BioCreate);
  }
  ctx_ = SSL_CTX_new(TLS_client_method());
  if (ctx_ == nullptr) return;
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  SSL_CTX_set_default_verify_paths(ctx_);
  if (!extraCaFile.empty()) SSL_CTX_load_verify_locations(ctx_, extraCaFile.c_str(), nullptr);
  // The chain is checked, but the decision is the engine's (a stored
  // fingerprint may trust what the store does not).
  SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
  SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  SSL_CTX_sess_set_new_cb(ctx_, NewSession);
  ERR_clear_error();
}

TlsContext::~TlsContext() {
  Forget();
  SSL_CTX_free(ctx_);
  if (method_ != nullptr) BIO_meth_free(method_);
}

void TlsContext::SetMaxVersion(int version) {
  if (ctx_ != nullptr) SSL_CTX_set_max_proto_version(ctx_, version);
}

void TlsContext::Remember(ssl_session_st* session) {
  if (session_ != nullptr) SSL_SESSION_free(session_);
  session_ = session;
}

void TlsContext::Forget() { Remember(nullptr); }

TlsStream::TlsStream(TlsContext& context, int handle, const std::string& hostName, bool resume, bool remember)
    : handle_(handle) {
  if (!context.ok() || handle <= 0) return;
  ssl_ = SSL_new(context.raw());
  if (ssl_ == nullptr) return;
  BIO* bio = context.socketMethod() != nullptr ? BIO_new(context.socketMethod()) : nullptr;
  if (bio == nullptr) {
    SSL_free(ssl_);
    ssl_ = nullptr;
    return;
  }
  BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(handle)));
  SSL_set_bio(ssl_, bio, bio);
  SSL_set_app_data(ssl_, remember ? &context : nullptr);
  const HostText host = ParseHostText(hostName);
  in6_addr probe6{};
  in_addr probe4{};
  const bool literal = host.ipv6Literal || inet_pton(AF_INET, host.host.c_str(), &probe4) == 1 ||
                       inet_pton(AF_INET6, host.host.c_str(), &probe6) == 1;
  if (host.valid && literal) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.host.c_str());
  } else if (host.valid) {
    SSL_set_tlsext_host_name(ssl_, host.host.c_str());
    SSL_set1_host(ssl_, host.host.c_str());
  }
  if (resume && context.session() != nullptr) SSL_set_session(ssl_, context.session());
  SSL_set_connect_state(ssl_);
  ERR_clear_error();
}

TlsStream::~TlsStream() { SSL_free(ssl_); }

WaitResult TlsStream::WaitFor(Want want, int timeoutMs, const std::stop_token& stop) {
  return want == Want::kWrite ? wexmoor::WaitWritable(handle_, timeoutMs, stop)
                              : wexmoor::WaitReadable(handle_, timeoutMs, stop);
}

bool TlsStream::Handshake(int timeoutMs, std::stop_token stop, std::string& error) {
  if (ssl_ == nullptr) {
    error = "TLS could not start";
    return false;
  }
  const std::int64_t start = NetworkMs();
  for (;;) {
    ERR_clear_error();
    const int r = SSL_connect(ssl_);
    if (r == 1) return true;
    const int why = SSL_get_error(ssl_, r);
    if (why != SSL_ERROR_WANT_READ && why != SSL_ERROR_WANT_WRITE) {
      error = LibraryError();
      return false;
    }
    const std::int64_t left = timeoutMs - (NetworkMs() - start);
    if (left <= 0) {
      error = "time-out";
      return false;
    }
    const WaitResult waited =
        WaitFor(why == SSL_ERROR_WANT_WRITE ? Want::kWrite : Want::kRead, static_cast<int>(left), stop);
    if (waited == WaitResult::kStopped) {
      error = "stopped";
      return false;
    }
    if (waited == WaitResult::kError) {
      error = "connection lost";
      return false;
    }
  }
}

long TlsStream::ReadSome(void* buffer, std::size_t size) {
  if (ssl_ == nullptr || closed_) return -1;
  if (size == 0) return 0;
  ERR_clear_error();
  std::size_t got = 0;
  if (SSL_read_ex(ssl_, buffer, size, &got) == 1) {
    want_ = Want::kRead;
    return static_cast<long>(got);
  }
  return Unfinished(true);
}

long TlsStream::WriteSome(const void* data, std::size_t size) {
  if (ssl_ == nullptr || closed_) return -1;
  if (size == 0) return 0;
  ERR_clear_error();
  std::size_t put = 0;
  if (SSL_write_ex(ssl_, data, size, &put) == 1) {
    want_ = Want::kWrite;
    return static_cast<long>(put);
  }
  return Unfinished(false);
}

long TlsStream::Unfinished(bool endOnError) {
  switch (SSL_get_error(ssl_, 0)) {
    case SSL_ERROR_WANT_READ:
      want_ = Want::kRead;
      return 0;
    case SSL_ERROR_WANT_WRITE:
      want_ = Want::kWrite;
      return 0;
    default:
      ERR_clear_error();
      if (endOnError) closed_ = true;
      return -1;
  }
}

WaitResult TlsStream::WaitReadable(int timeoutMs, std::stop_token stop) {
  if (ssl_ == nullptr) return WaitResult::kError;
  if (stop.stop_requested()) return WaitResult::kStopped;
  if (closed_ || SSL_has_pending(ssl_) == 1) return WaitResult::kReady;
  return WaitFor(want_ == Want::kWrite ? Want::kWrite : Want::kRead, timeoutMs, stop);
}

WaitResult TlsStream::WaitWritable(int timeoutMs, std::stop_token stop) {
  if (ssl_ == nullptr) return WaitResult::kError;
  return WaitFor(want_ == Want::kRead ? Want::kRead : Want::kWrite, timeoutMs, stop);
}

void TlsStream::Shutdown(int timeoutMs, std::stop_token stop) {
  if (ssl_ == nullptr) return;
  const std::int64_t start = NetworkMs();
  ERR_clear_error();
  int r = SSL_shutdown(ssl_);
  while (r < 0) {  // close_notify not sent yet: the socket is full
    const int why = SSL_get_error(ssl_, r);
    if (why != SSL_ERROR_WANT_WRITE && why != SSL_ERROR_WANT_READ) break;
    const std::int64_t left = timeoutMs - (NetworkMs() - start);
    if (left <= 0 || WaitFor(why == SSL_ERROR_WANT_WRITE ? Want::kWrite : Want::kRead, static_cast<int>(left),
                             stop) != WaitResult::kReady) {
      break;
    }
    ERR_clear_error();
    r = SSL_shutdown(ssl_);
  }
  // Wait for the peer's close_notify or end of stream; what else comes is dropped.
  char sink[4096];
  while (r == 0 && !closed_) {
    const long n = ReadSome(sink, sizeof sink);
    if (n < 0) break;
    if (n > 0) continue;
    const std::int64_t left = timeoutMs - (NetworkMs() - start);
    if (left <= 0 || WaitReadable(static_cast<int>(left), stop) != WaitResult::kReady) break;
  }
  ERR_clear_error();
  closed_ = true;
}

bool TlsStream::SessionReused() const { return ssl_ != nullptr && SSL_session_reused(ssl_) == 1; }

std::string TlsStream::Version() const { return ssl_ != nullptr ? SSL_get_version(ssl_) : ""; }

x509_st* TlsStream::PeerCertificate() const { return ssl_ != nullptr ? SSL_get0_peer_certificate(ssl_) : nullptr; }

bool TlsStream::VerifiedByStore() const {
  return ssl_ != nullptr && SSL_get0_peer_certificate(ssl_) != nullptr && SSL_get_verify_result(ssl_) == X509_V_OK;
}

}  // namespace wexmoor
