#include "webdav/dav_client.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/code_page.h"
#include "webdav/dav_listing.h"

namespace wexmoor {

struct DavClient::Request {
  std::string method;
  std::string path;
  std::vector<std::string> headers;
  std::string body;  // sent as it is (PROPFIND)
  // PUT: the file.
  int fd = -1;
  std::int64_t length = 0;
  std::int64_t position = 0;
  TransferObserver* observer = nullptr;
  ProgressTarget* progress = nullptr;
  StatusTarget* status = nullptr;
  int lastPercent = -1;
  // While it runs.
  DavClient* client = nullptr;
  DavAnswer* answer = nullptr;
  curl_off_t lastNow = -1;
  bool readFailed = false;
  bool overHttp1 = false;  // asked again over HTTP/1.1
};

namespace {

constexpr char kPropfindBody[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<d:propfind xmlns:d=\"DAV:\"><d:prop><d:resourcetype/><d:getcontentlength/></d:prop></d:propfind>\n";
constexpr int kMaxRedirects = 3;
constexpr std::size_t kMaxErrorBody = 64 * 1024;

CURL* Easy(void* handle) { return static_cast<CURL*>(handle); }

std::string Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return std::string(text);
}

bool HeaderIs(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  return std::equal(name.begin(), name.end(), line.begin(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b)); });
}

struct HeaderSink {
  DavAnswer* answer;
  std::string* location;
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<HeaderSink*>(user);
  const std::string_view line(data, size * count);
  if (line.substr(0, 5) == "HTTP/") {
    // A new answer (after 100 Continue or a 401): what came before is gone.
    sink->answer->mtimeAccepted = false;
    sink->answer->basicOffered = false;
    sink->location->clear();
    const std::size_t space = line.find(' ');
    const std::size_t words = space == std::string_view::npos ? std::string_view::npos : line.find(' ', space + 1);
    sink->answer->words = words == std::string_view::npos ? std::string() : Trimmed(line.substr(words + 1));
  } else if (HeaderIs(line, "X-OC-MTime")) {
    sink->answer->mtimeAccepted = Trimmed(line.substr(11)) == "accepted";
  } else if (HeaderIs(line, "WWW-Authenticate")) {
    const std::string scheme = Trimmed(line.substr(17)).substr(0, 5);
    if (scheme.size() == 5 && (scheme[0] | 0x20) == 'b' && (scheme[1] | 0x20) == 'a' && (scheme[2] | 0x20) == 's' &&
        (scheme[3] | 0x20) == 'i' && (scheme[4] | 0x20) == 'c') {
      sink->answer->basicOffered = true;
    }
  } else if (HeaderIs(line, "Location")) {
    *sink->location = Trimmed(line.substr(9));
  }
  return size * count;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  const std::size_t n = size * count;
  if (body->size() + n > kMaxDavAnswerBytes) return 0;  // fails the transfer
  body->append(data, n);
  return n;
}

// Only what the sender needs: the stop, the watchdog, the progress.
int OnProgress(void* user, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal, curl_off_t ulNow) {
  (void)dlTotal;
  (void)ulTotal;
  auto* request = static_cast<DavClient::Request*>(user);
  return request->client->ProgressSeen(*request, dlNow + ulNow) ? 0 : 1;
}

std::size_t OnRead(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto* request = static_cast<DavClient::Request*>(user);
  const std::int64_t left = request->length - request->position;
  std::size_t want = std::min<std::int64_t>(static_cast<std::int64_t>(size * count), left);
  if (want == 0) return 0;
  if (request->observer != nullptr && !request->observer->BeforeBlock(want)) return CURL_READFUNC_ABORT;
  const ssize_t got = ::pread(request->fd, buffer, want, request->position);
  if (got <= 0) {
    // The file shrank or can't be read: the length promised can't be kept.
    request->readFailed = true;
    return CURL_READFUNC_ABORT;
  }
  request->position += got;
  if (request->observer != nullptr) {
    request->observer->AfterBlock(request->observer->WantsBytes() ? buffer : nullptr, static_cast<std::size_t>(got));
  }
  return static_cast<std::size_t>(got);
}

int OnSeek(void* user, curl_off_t offset, int origin) {
  auto* request = static_cast<DavClient::Request*>(user);
  if (origin != SEEK_SET || offset < 0 || offset > request->length) return CURL_SEEKFUNC_CANTSEEK;
  request->position = offset;
  return CURL_SEEKFUNC_OK;
}

}  // namespace

std::string DavAnswer::Describe() const {
  switch (failure) {
    case DavFailure::kStopped:
      return "Stopped";
    case DavFailure::kUntrusted:
      return "The server's certificate is not trusted";
    case DavFailure::kRedirect:
      return "Sent to another server (" + words + "), not followed";
    case DavFailure::kConnection:
      return words;
    case DavFailure::kNone:
      break;
  }
  return "HTTP " + std::to_string(status) + (words.empty() ? "" : " " + words);
}

// Called by the handshake with the chain built by OpenSSL; checks it against
// the store and the host name, then asks the session.
int DavClient::VerifyPeer(x509_store_ctx_st* store, void* user) {
  auto* client = static_cast<DavClient*>(user);
  X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(store);
  std::string host = client->endpoint_.host;
  if (host.size() >= 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
  if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1) X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
  const bool verified = X509_verify_cert(store) == 1;
  DavCertificate certificate;
  certificate.verifiedByStore = verified;
  if (X509* leaf = X509_STORE_CTX_get0_cert(store)) {
    unsigned char* der = nullptr;
    const int size = i2d_X509(leaf, &der);
    if (size > 0) certificate.der.assign(reinterpret_cast<char*>(der), static_cast<std::size_t>(size));
    OPENSSL_free(der);
  }
  const bool trusted = client->trust_ ? client->trust_(certificate) : verified;
  if (!trusted) {
    client->untrusted_ = true;
    if (X509_STORE_CTX_get_error(store) == X509_V_OK) X509_STORE_CTX_set_error(store, X509_V_ERR_CERT_REJECTED);
    return 0;
  }
  X509_STORE_CTX_set_error(store, X509_V_OK);
  return 1;
}

int DavClient::OnSslContext(void* curl, void* sslContext, void* user) {
  (void)curl;
  SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(sslContext), &DavClient::VerifyPeer, user);
  return CURLE_OK;
}

DavClient::DavClient(const Clock& clock, std::atomic<std::int64_t>& lastProgressTime)
    : clock_(clock), lastProgressTime_(lastProgressTime) {}

DavClient::~DavClient() { Close(); }

void DavClient::Close() {
  if (handle_ != nullptr) curl_easy_cleanup(Easy(handle_));
  handle_ = nullptr;
  renewHandle_ = false;
}

void DavClient::Configure(const DavEndpoint& endpoint, const std::string& login, const std::string& password,
                          int timeoutSeconds) {
  Close();
  renewHandle_ = false;
  if (&login != &login_) basicFirst_ = true;  // a new login: Basic first again
  endpoint_ = endpoint;
  if (&login != &login_) login_ = login;
  if (&password != &password_) password_ = password;
  timeoutSeconds_ = timeoutSeconds;
  CURL* easy = curl_easy_init();
  handle_ = easy;
  if (easy == nullptr) return;
  const long timeout = timeoutSeconds > 0 ? timeoutSeconds : 60;
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, endpoint.tls ? "https" : "http");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, timeout);
  // Silence for the time-out ends a transfer; the watchdog bounds the rest.
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, timeout);
  // HTTP/2 where the server offers it over TLS, HTTP/1.1 with keep-alive
  // otherwise.
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
  curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "Wexmoor");
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(easy, CURLOPT_READFUNCTION, &OnRead);
  curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &OnSeek);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
  if (endpoint.tls) {
    // The store is loaded by the library; the verdict is the session's (VerifyPeer).
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &DavClient::OnSslContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
  }
  if (!login.empty() || !password.empty()) {
    curl_easy_setopt(easy, CURLOPT_USERNAME, login_.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, password_.c_str());
    const bool basicAllowed = endpoint.tls || IsLocalNetworkHost(endpoint.host);
    if (!basicAllowed) basicFirst_ = false;
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, basicFirst_ ? CURLAUTH_BASIC : CURLAUTH_ANYSAFE);
  }
}

bool DavClient::ProgressSeen(Request& request, std::int64_t now) {
  if (stop_.stop_requested()) return false;
  if (now != request.lastNow) {
    request.lastNow = now;
    lastProgressTime_.store(clock_.MonotonicSeconds());
  }
  if (request.fd >= 0 && request.length > 0) {
    const int percent = static_cast<int>(request.position * 100 / request.length);
    if (percent != request.lastPercent) {
      request.lastPercent = percent;
      if (request.progress != nullptr) request.progress->SetProgress(percent);
      if (request.status != nullptr) {
        request.status->SetStatusText(IntToText(request.position) + u" / " + IntToText(request.length));
      }
    }
  }
  return true;
}

DavAnswer DavClient::PerformOnce(Request& request, const std::string& url, std::string& location) {
  DavAnswer answer;
  if (renewHandle_) Configure(endpoint_, login_, password_, timeoutSeconds_);
  CURL* easy = Easy(handle_);
  if (easy == nullptr) {
    answer.failure = DavFailure::kConnection;
    answer.words = "Not connected";
    return answer;
  }
  request.client = this;
  request.answer = &answer;
  request.position = 0;
  request.lastNow = -1;
  request.lastPercent = -1;
  request.readFailed = false;
  HeaderSink sink{&answer, &location};
  // Back to a plain request, then what this one needs.
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &request);
  curl_easy_setopt(easy, CURLOPT_READDATA, &request);
  curl_easy_setopt(easy, CURLOPT_SEEKDATA, &request);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &sink);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer.body);
  if (request.fd >= 0) {
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(request.length));
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
  } else {
    if (!request.body.empty()) {
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.c_str());
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
    }
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
  curl_slist* headers = nullptr;
  for (const std::string& header : request.headers) headers = curl_slist_append(headers, header.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  untrusted_ = false;
  const CURLcode code = curl_easy_perform(easy);
  // After a cut, a new handle: the library's HTTP/2 state of the old one
  // does not carry a further upload.
  renewHandle_ = code != CURLE_OK;
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, nullptr);
  curl_slist_free_all(headers);
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  if (code == CURLE_HTTP2_STREAM && status == 0 && !request.overHttp1 &&
      (request.fd >= 0 || !request.body.empty()) && !stop_.stop_requested()) {
    // A server may answer (a refusal: 401, 413, 507) before it has read the
    // body and then reset the stream; the library's HTTP/2 layer drops that
    // answer. Asked once more over HTTP/1.1, where an early answer ends the
    // sending and is read; the next request is back on HTTP/2.
    log_.Append(u"(the answer was lost with the HTTP/2 stream: asked again over HTTP/1.1)");
    request.overHttp1 = true;
    Configure(endpoint_, login_, password_, timeoutSeconds_);
    if (handle_ != nullptr) curl_easy_setopt(Easy(handle_), CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    DavAnswer again = PerformOnce(request, url, location);
    renewHandle_ = true;
    return again;
  }
  curl_off_t speed = 0;
  curl_easy_getinfo(easy, CURLINFO_SPEED_UPLOAD_T, &speed);
  answer.uploadBytesPerSecond = static_cast<double>(speed);
  if (code == CURLE_OK) {
    answer.status = static_cast<int>(status);
    if (!answer.Success() && answer.body.size() > kMaxErrorBody) answer.body.resize(kMaxErrorBody);
    return answer;
  }
  answer.status = static_cast<int>(status);
  if (stop_.stop_requested()) {
    answer.failure = DavFailure::kStopped;
  } else if (untrusted_) {
    answer.failure = DavFailure::kUntrusted;
  } else {
    answer.failure = DavFailure::kConnection;
    answer.words = request.readFailed ? std::string("The local file could not be read") : curl_easy_strerror(code);
  }
  return answer;
}

DavAnswer DavClient::Perform(Request& request) {
  std::string url = endpoint_.Url(request.path);
  std::string shown = request.method + " " + request.path;
  for (const std::string& header : request.headers) {
    if (header.rfind("Depth:", 0) == 0 || header.rfind("Destination:", 0) == 0) shown += " (" + header + ")";
  }
  log_.Append(Utf8ToUtf16(shown));
  DavAnswer answer;
  for (int hop = 0;; ++hop) {
    std::string location;
    answer = PerformOnce(request, url, location);
    if (basicFirst_ && answer.failure == DavFailure::kNone && answer.status == 401 && !answer.basicOffered) {
      // The server wants another scheme: the library negotiates it (Basic,
      // which it did not offer, left out).
      // The first answer without a login brings the challenge the next
      // request answers.
      basicFirst_ = false;
      curl_easy_setopt(Easy(handle_), CURLOPT_HTTPAUTH, CURLAUTH_ANYSAFE);
      answer = PerformOnce(request, url, location);
      if (answer.failure == DavFailure::kNone && answer.status == 401) answer = PerformOnce(request, url, location);
    }
    const bool redirect = answer.failure == DavFailure::kNone &&
                          (answer.status == 301 || answer.status == 302 || answer.status == 307 ||
                           answer.status == 308) && !location.empty();
    if (!redirect) break;
    // Followed only on this server, with this scheme.
    std::string next = location;
    if (next.front() == '/') next = endpoint_.Origin() + next;
    const std::string origin = endpoint_.Origin() + "/";
    if (next.compare(0, origin.size(), origin) != 0 || hop == kMaxRedirects) {
      answer.failure = DavFailure::kRedirect;
      answer.words = location;
      break;
    }
    log_.Append(Utf8ToUtf16("-> " + next));
    url = next;
  }
  log_.Append(Utf8ToUtf16(answer.Describe()));
  return answer;
}

DavAnswer DavClient::Propfind(const std::string& path, int depth) {
  Request request;
  request.method = "PROPFIND";
  request.path = path;
  request.headers = {"Depth: " + std::to_string(depth), "Content-Type: application/xml; charset=utf-8"};
  request.body = kPropfindBody;
  return Perform(request);
}

DavAnswer DavClient::Mkcol(const std::string& path) {
  Request request;
  request.method = "MKCOL";
  request.path = path;
  return Perform(request);
}

DavAnswer DavClient::Delete(const std::string& path) {
  Request request;
  request.method = "DELETE";
  request.path = path;
  return Perform(request);
}

DavAnswer DavClient::Move(const std::string& from, const std::string& to) {
  Request request;
  request.method = "MOVE";
  request.path = from;
  request.headers = {"Destination: " + endpoint_.Url(to), "Overwrite: T"};
  return Perform(request);
}

DavAnswer DavClient::Put(const std::string& path, int fd, std::int64_t length, std::int64_t mtime,
                         TransferObserver* observer, ProgressTarget* progress, StatusTarget* status) {
  Request request;
  request.method = "PUT";
  request.path = path;
  request.fd = fd;
  request.length = length;
  request.observer = observer;
  request.progress = progress;
  request.status = status;
  // Never chunked: the length is promised.
  request.headers = {"Transfer-Encoding:"};
  if (mtime >= 0) request.headers.push_back("X-OC-Mtime: " + std::to_string(mtime));
  return Perform(request);
}

}  // namespace wexmoor
