// One WebDAV client: one libcurl handle kept between requests (its
// connection, TLS session and the authentication it settled on), used by one
// thread at a time. Every request ends within a second of a stop request;
// bytes moving refresh the watchdog's time. The login goes by HTTP
// authentication only, never in a URL or a log line; over plain HTTP to a
// host outside the local network, Basic is never offered.
//
// Certificates: the handshake asks `trust` about the server's certificate
// (whether it verified against the system store for the host name, and its
// DER form) before anything of the login is sent; false ends the handshake.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

#include "model/conversation_log.h"
#include "model/status_target.h"
#include "model/transfer_observer.h"
#include "platform/clock.h"
#include "webdav/dav_address.h"

struct x509_store_ctx_st;

namespace wexmoor {

struct DavCertificate {
  bool verifiedByStore = false;  // chain and host name
  std::string der;
};
using DavTrustCheck = std::function<bool(const DavCertificate&)>;

enum class DavFailure {
  kNone,        // an HTTP answer came (see status)
  kConnection,  // no connection, cut, time-out, malformed answer
  kUntrusted,   // the certificate was refused
  kStopped,     // the stop was seen
  kRedirect,    // sent elsewhere than this server and scheme
};

struct DavAnswer {
  DavFailure failure = DavFailure::kNone;
  int status = 0;       // HTTP status of the last answer
  std::string words;    // the status line's words, or the library's message
  std::string body;     // bounded
  bool mtimeAccepted = false;  // "X-OC-MTime: accepted"
  bool basicOffered = false;   // a "WWW-Authenticate: Basic" came with it
  double uploadBytesPerSecond = 0;

  bool Success() const { return failure == DavFailure::kNone && status >= 200 && status < 300; }
  // "HTTP 507 Insufficient Storage", or why no answer came.
  std::string Describe() const;
};

class DavClient {
 public:
  DavClient(const Clock& clock, std::atomic<std::int64_t>& lastProgressTime);
  ~DavClient();
  DavClient(const DavClient&) = delete;
  DavClient& operator=(const DavClient&) = delete;

  void SetStopToken(std::stop_token stop) { stop_ = std::move(stop); }
  void SetTrustCheck(DavTrustCheck trust) { trust_ = std::move(trust); }
  // A fresh handle for `endpoint`; `timeoutSeconds` bounds connecting and
  // silence (0: 60 s).
  void Configure(const DavEndpoint& endpoint, const std::string& login, const std::string& password,
                 int timeoutSeconds);
  // The handle and its connection go.
  void Close();
  bool Configured() const { return handle_ != nullptr; }
  const DavEndpoint& endpoint() const { return endpoint_; }
  ConversationLog& Log() { return log_; }

  // Paths are absolute, UTF-8, not encoded. `depth` 0 or 1.
  DavAnswer Propfind(const std::string& path, int depth);
  DavAnswer Mkcol(const std::string& path);
  DavAnswer Delete(const std::string& path);
  DavAnswer Move(const std::string& from, const std::string& to);
  // Sends `length` bytes of `fd` from its start with a Content-Length;
  // `mtime` >= 0 goes as "X-OC-Mtime".
  DavAnswer Put(const std::string& path, int fd, std::int64_t length, std::int64_t mtime, TransferObserver* observer,
                ProgressTarget* progress, StatusTarget* status);

  // For the transfer's callbacks: one request under way, and whether it may
  // go on after `bytesMoved` (false: the stop was seen).
  struct Request;
  bool ProgressSeen(Request& request, std::int64_t bytesMoved);

 private:
  static int VerifyPeer(x509_store_ctx_st* store, void* user);
  static int OnSslContext(void* curl, void* sslContext, void* user);
  DavAnswer Perform(Request& request);
  DavAnswer PerformOnce(Request& request, const std::string& url, std::string& location);

  const Clock& clock_;
  std::atomic<std::int64_t>& lastProgressTime_;
  std::stop_token stop_;
  DavTrustCheck trust_;
  DavEndpoint endpoint_;
  void* handle_ = nullptr;  // CURL*
  bool untrusted_ = false;  // the last handshake refused the certificate
  bool renewHandle_ = false;  // the last request failed: a new handle first
  // Basic goes with the first request (one request per login attempt) until
  // a server asks for another scheme; then the library negotiates.
  bool basicFirst_ = false;
  std::string login_, password_;  // for a renewed handle; never logged
  int timeoutSeconds_ = 0;
  ConversationLog log_;
};

}  // namespace wexmoor
