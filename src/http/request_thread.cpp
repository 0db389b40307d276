#include "http/request_thread.h"

#include "http/http_request.h"

namespace wexmoor {

RequestThread::RequestThread(HttpState& state, Text url)
    : thread_([&state, url = std::move(url)](std::stop_token stop) {
        Text body = HttpGet(state, url, stop);
        if (stop.stop_requested() || !state.LastHttpError().empty()) return;
        state.SetHttpResult(body.empty() ? Text(kEmptyHttpResult) : std::move(body));
      }) {}

void RequestThread::Stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
}

}  // namespace wexmoor
