// A web request asked for up to six times, each attempt watched for silence.
#pragma once

#include <stop_token>

#include "platform/text.h"
#include "http/http_state.h"

namespace wexmoor {

inline constexpr int kHttpAttempts = 6;

// Runs each attempt on a RequestThread and checks it every 50 ms; an attempt
// ends on a body, on an error, or when no block arrived for longer than the
// inactivity limit (the clock restarts with every block). Empty bodies are
// asked for again. Sets ShowHttpErrors. Returns the body text, or an empty
// text when every attempt failed or `stop` was requested (then within a few
// tens of milliseconds).
Text HttpGetWithRetry(HttpState& state, const Text& url, std::stop_token stop = {});

}  // namespace wexmoor
