#include "http/http_request.h"

#include <curl/curl.h>

#include <algorithm>
#include <string>

#include "platform/code_page.h"
#include "platform/files.h"

namespace wexmoor {

namespace {

constexpr long kReadBlock = 5000;
constexpr char16_t kErrorTitle[] = u"Error";

struct Transfer {
  HttpState* state = nullptr;
  std::stop_token stop;
  std::string body;
};

std::size_t OnBlock(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  t->state->TouchHttpActivity();
  if (t->stop.stop_requested()) return 0;
  // A short count fails the transfer (a write error).
  if (t->body.size() + n > t->state->options().bodyLimit) return 0;
  t->body.append(data, n);
  return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* t = static_cast<Transfer*>(user);
  return t->stop.stop_requested() ? 1 : 0;
}

void Fail(HttpState& state, const Text& message) {
  state.SetLastHttpError(message);
  if (state.ShowHttpErrors() && state.options().prompts)
    state.options().prompts->PostMessage(kErrorTitle, message);
}

// Codes that mean the site itself could not be reached.
bool IsConnectFailure(CURLcode code) {
  return code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_CONNECT ||
         code == CURLE_URL_MALFORMAT || code == CURLE_UNSUPPORTED_PROTOCOL ||
         code == CURLE_COULDNT_RESOLVE_PROXY;
}

Text TempFilePath(const HttpState& state) {
  Text folder = state.options().workFolder;
  if (!folder.empty() && folder.back() != u'/') folder.push_back(u'/');
  return folder + u"temp.htm";
}

// Runs the transfer in slices of at most 10 ms so that a stop request is seen
// at once, whatever the server does.
CURLcode Perform(CURL* easy, const std::stop_token& stop, bool& stopped) {
  CURLM* multi = curl_multi_init();
  if (!multi) return CURLE_OUT_OF_MEMORY;
  curl_multi_add_handle(multi, easy);
  CURLcode result = CURLE_OK;
  int running = 1;
  while (true) {
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    if (running == 0) {
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi, &left))
        if (msg->msg == CURLMSG_DONE) result = msg->data.result;
      break;
    }
    if (stop.stop_requested()) {
      stopped = true;
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    curl_multi_poll(multi, nullptr, 0, 10, nullptr);
  }
  curl_multi_remove_handle(multi, easy);
  curl_multi_cleanup(multi);
  return result;
}

struct Peek {
  std::string bytes;
  std::size_t limit = 0;
};

std::size_t KeepFirstBytes(char* data, std::size_t size, std::size_t count, void* user) {
  auto* peek = static_cast<Peek*>(user);
  const std::size_t total = size * count;
  const std::size_t room = peek->limit - peek->bytes.size();
  peek->bytes.append(data, std::min(room, total));
  // Enough read: a short count ends the transfer.
  return peek->bytes.size() >= peek->limit ? 0 : total;
}

}  // namespace

HttpLibrary::HttpLibrary() { curl_global_init(CURL_GLOBAL_DEFAULT); }

HttpLibrary::~HttpLibrary() { curl_global_cleanup(); }

std::string HttpPeek(const std::string& url, std::size_t maxBytes, long timeoutMs, std::stop_token stop) {
  if (url.empty() || maxBytes == 0 || stop.stop_requested()) return {};
  CURL* easy = curl_easy_init();
  if (easy == nullptr) return {};
  Peek peek;
  peek.limit = maxBytes;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_USERAGENT, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMs);
  curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, KeepFirstBytes);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &peek);
  bool stopped = false;
  Perform(easy, stop, stopped);  // the short read of the first bytes ends it with an error on purpose
  curl_slist_free_all(headers);
  curl_easy_cleanup(easy);
  if (stopped || stop.stop_requested()) return {};
  return peek.bytes;
}

HttpAddress PrepareHttpAddress(TextView url) {
  Text t(url);
  if (!t.empty() && t.front() == u'"') t.erase(0, 1);
  if (!t.empty() && t.back() == u'"') t.pop_back();
  t = ReplaceAll(t, u" ", u"%20");
  t = ReplaceAll(t, u"http://", u"");
  // Repeated until none is left, so "///" folds to one slash as well.
  while (t.find(u"//") != Text::npos) t = ReplaceAll(t, u"//", u"/");
  HttpAddress a;
  const auto split = t.find_first_of(u"/\\");
  if (split == Text::npos) {
    a.host = t;
    a.path = u"/";
  } else {
    a.host = t.substr(0, split);
    a.path = ReplaceAll(t.substr(split), u"\\", u"/");
  }
  return a;
}

Text HttpErrorText(int curlCode) {
  if (curlCode == 0) return {};
  Text text = u"Erreur N° / Error N# " + IntToText(curlCode);
  const char* message = curl_easy_strerror(static_cast<CURLcode>(curlCode));
  if (message && *message) text += u" : " + AnsiToUtf16(message);
  return text;
}

Text HttpGet(HttpState& state, const Text& url, std::stop_token stop) {
  state.SetLastHttpError({});
  if (url.empty()) return {};
  const HttpAddress address = PrepareHttpAddress(url);

  CURL* easy = curl_easy_init();
  if (!easy) {
    Fail(state, u"Unable to use the web connection. : " + HttpErrorText(CURLE_FAILED_INIT));
    return {};
  }

  Transfer transfer;
  transfer.state = &state;
  transfer.stop = stop;
  const std::string target = Utf16ToUtf8(u"http://" + address.host + address.path);
  const std::string referrer = Utf16ToUtf8(state.HttpReferrer());
  curl_slist* headers = nullptr;

  curl_easy_setopt(easy, CURLOPT_URL, target.c_str());
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "Mozilla/4.0");
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReadBlock);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBlock);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
  if (!referrer.empty()) {
    curl_easy_setopt(easy, CURLOPT_REFERER, referrer.c_str());
    headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  }

  bool stopped = false;
  const CURLcode code = Perform(easy, stop, stopped);
  if (code == CURLE_OK) {
    char* finalAddress = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &finalAddress) == CURLE_OK && finalAddress)
      state.SetHttpReferrer(Utf8ToUtf16(finalAddress));
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(easy);

  if (stopped || stop.stop_requested()) return {};
  if (code != CURLE_OK) {
    const Text where = IsConnectFailure(code) ? address.host : address.host + address.path;
    Fail(state, u"Unable to open " + where + u". : " + HttpErrorText(code));
    return {};
  }

  // Written only now, after a complete read; a file that cannot be written is
  // skipped, as the body is still returned.
  WriteFileAtomically(TempFilePath(state), transfer.body, 0644);
  const auto zero = transfer.body.find('\0');
  return AnsiToUtf16(std::string_view(transfer.body).substr(0, zero));
}

}  // namespace wexmoor
