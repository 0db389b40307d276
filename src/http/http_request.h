// One plain GET over HTTP, with the body kept in "temp.htm".
#pragma once

#include <cstddef>
#include <stop_token>
#include <string>

#include "platform/text.h"
#include "http/http_state.h"

namespace wexmoor {

// The HTTP library's process-wide set-up: made once at start, before any
// thread makes a request, and ended after the last one.
class HttpLibrary {
 public:
  HttpLibrary();
  ~HttpLibrary();
  HttpLibrary(const HttpLibrary&) = delete;
  HttpLibrary& operator=(const HttpLibrary&) = delete;
};

struct HttpAddress {
  Text host;  // may carry ":port"
  Text path;  // starts with "/"
};

// Quotes at both ends dropped, spaces as "%20", every "http://" removed,
// "//" folded to "/", then split at the first "/" or "\" (a "\" in the path is
// sent as "/"). An address without a path asks for "/".
HttpAddress PrepareHttpAddress(TextView url);

// "Erreur N° / Error N# " + code + " : " + the library's message.
Text HttpErrorText(int curlCode);

// Performs one GET. Sends HttpReferrer as referrer (with the form header line)
// when it is set, follows redirections and stores the final address in
// HttpReferrer. After a complete read the whole body replaces "temp.htm" in
// the work folder; the result is the body up to its first zero byte, read as
// Windows-1252. On failure LastHttpError holds the message (also shown when
// ShowHttpErrors is set), "temp.htm" is left alone and the result is empty.
// A stop request ends the transfer within a few milliseconds, silently.
Text HttpGet(HttpState& state, const Text& url, std::stop_token stop = {});

// The first `maxBytes` bytes of the page at `url` (http or https, no cache),
// read for at most `timeoutMs`; empty when nothing came or on a stop request,
// which ends the transfer within a few milliseconds.
std::string HttpPeek(const std::string& url, std::size_t maxBytes, long timeoutMs, std::stop_token stop);

}  // namespace wexmoor
