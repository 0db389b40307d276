// A web request on a thread of its own, for the waiting loop of
// HttpGetWithRetry.
#pragma once

#include <thread>

#include "platform/text.h"
#include "http/http_state.h"

namespace wexmoor {

class RequestThread {
 public:
  // Starts the request at once. The thread sets HttpResult to the body, or to
  // "vide$$" for an empty body; a failed or stopped request leaves it empty.
  RequestThread(HttpState& state, Text url);
  ~RequestThread() { Stop(); }
  RequestThread(const RequestThread&) = delete;
  RequestThread& operator=(const RequestThread&) = delete;

  // Asks the transfer to end and waits for the thread (a few milliseconds).
  void Stop();

 private:
  std::jthread thread_;
};

}  // namespace wexmoor
