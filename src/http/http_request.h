// One plain GET over HTTP, with the body kept in "temp.htm".
#pragma once

#include <stop_token>

#include "platform/text.h"
#include "http/http_state.h"

namespace wexmoor {

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

}  // namespace wexmoor
