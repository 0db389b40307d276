#include "ftp/visible_address.h"

#include <string>

#include "http/http_request.h"
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
  const std::string page = HttpPeek(url, kPageBytes, kLookUpTimeOutMs, session.StopToken());
  if (session.StopRequested()) return {};
  return ParseVisibleAddressPage(AnsiToUtf16(page));
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
