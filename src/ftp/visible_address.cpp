#include "ftp/visible_address.h"

#include <curl/curl.h>

#include <string>

#include "platform/code_page.h"
#include "platform/socket.h"

namespace wexmoor {
namespace {

constexpr std::size_t kPageBytes = 255;
constexpr long kLookUpTimeOutMs = 10000;
// Tried in this order; a marker found past the first character is used.
constexpr std::u16string_view kMarkers[] = {
    u"IP Address properties of your Internet Connection ",
    u"IP Address properties of ",
    u"displaycopy('",
};

struct PageRead {
  std::string bytes;
  std::stop_token stop;
};

std::size_t KeepFirstBytes(char* data, std::size_t size, std::size_t count, void* user) {
  auto* read = static_cast<PageRead*>(user);
  const std::size_t total = size * count;
  const std::size_t room = kPageBytes - read->bytes.size();
  read->bytes.append(data, std::min(room, total));
  // Enough read: a short count ends the transfer.
  return read->bytes.size() >= kPageBytes ? 0 : total;
}

int AbortOnStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<PageRead*>(user)->stop.stop_requested() ? 1 : 0;
}

// 1-based position of `marker` in `text`, 0 when absent.
std::size_t Position(const Text& text, TextView marker) {
  const std::size_t at = text.find(marker);
  return at == Text::npos ? 0 : at + 1;
}

}  // namespace

Text ParseVisibleAddressPage(TextView page) {
  const Text text(page);
  TextView marker;
  std::size_t position = 0;
  for (TextView candidate : kMarkers) {
    marker = candidate;
    position = Position(text, candidate);
    if (position >= 2) break;
  }
  const std::size_t from = position == 0 ? 0 : position - 1;
  Text piece = from < text.size() ? text.substr(from, marker.size() + 15) : Text();
  piece = TrimSpaces(piece);
  piece = ReplaceAll(piece, marker, u"");
  const std::size_t space = piece.find(u' ');
  if (space != Text::npos) piece.resize(space);
  return piece;
}

Text LookUpVisibleAddress(FtpSession& session) {
  const std::string url = Utf16ToUtf8(session.ipEchoUrl());
  if (url.empty() || session.StopRequested()) return {};
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return {};
  PageRead read;
  read.stop = session.StopToken();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kLookUpTimeOutMs);
  curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, KeepFirstBytes);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &read);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, AbortOnStop);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &read);
  curl_easy_perform(curl);  // a short read of the first bytes ends it with an error on purpose
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  if (session.StopRequested()) return {};
  return ParseVisibleAddressPage(AnsiToUtf16(read.bytes));
}

Text LocalAddress(FtpSession& session) {
  const std::string own = LocalIpv4Address(session.controlConnection());
  if (!own.empty() && own != "0.0.0.0") return AsciiToText(own);
  const std::vector<std::string> addresses = HostIpv4Addresses();
  for (std::size_t i = 0; i < addresses.size() && i < 101; ++i) {
    if (addresses[i] != "0.0.0.0") return AsciiToText(addresses[i]);
  }
  return u"0.0.0.0";
}

}  // namespace wexmoor
