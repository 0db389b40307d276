#include "http/http_retry.h"

#include "http/request_thread.h"

namespace wexmoor {

Text HttpGetWithRetry(HttpState& state, const Text& url, std::stop_token stop) {
  state.SetHttpResult({});
  if (url.empty()) return {};
  state.SetShowHttpErrors(true);
  const Clock& clock = state.clock();

  for (int attempt = 0; attempt < kHttpAttempts && state.HttpResult().empty(); ++attempt) {
    if (stop.stop_requested()) break;
    state.TouchHttpActivity();
    state.SetLastHttpError({});
    RequestThread request(state, url);
    while (state.HttpResult().empty() && state.LastHttpError().empty() &&
           clock.MonotonicMs() - state.HttpActivityTime() <= state.options().inactivityLimitMs) {
      if (!clock.SleepFor(50, stop)) break;
    }
    request.Stop();
    if (stop.stop_requested()) break;
    if (state.HttpResult() == kEmptyHttpResult) {
      state.SetHttpResult({});
      clock.SleepFor(100, stop);
    } else if (state.HttpResult().empty()) {
      clock.SleepFor(500, stop);
    }
  }
  if (stop.stop_requested()) {
    state.SetHttpResult({});
    return {};
  }
  return state.HttpResult();
}

}  // namespace wexmoor
