// The state of the web requests: one object, shared by the thread that runs a
// request and the thread that waits for it. Texts are guarded by a mutex held
// only to copy them; the activity time is a single atomic word.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/clock.h"
#include "platform/text.h"

namespace wexmoor {

// Where a failed request shows its message: an OK box that the request's
// thread does not wait for.
class HttpErrorBoxes {
 public:
  virtual ~HttpErrorBoxes() = default;
  virtual void PostMessage(const Text& title, const Text& text) = 0;
};

struct HttpOptions {
  // Folder that receives "temp.htm" (the program's working directory).
  Text workFolder;
  // An attempt with no received block for longer than this is abandoned.
  std::int64_t inactivityLimitMs = 30000;
  // Bodies beyond this size make the request fail.
  std::size_t bodyLimit = 64u * 1024u * 1024u;
  // Where failed requests show their message when errors are shown; may be null.
  HttpErrorBoxes* prompts = nullptr;
};

// The marker a request leaves in HttpResult when the body was empty.
inline constexpr char16_t kEmptyHttpResult[] = u"vide$$";

class HttpState {
 public:
  HttpState(const Clock& clock, HttpOptions options) : clock_(clock), options_(std::move(options)) {}

  const Clock& clock() const { return clock_; }
  const HttpOptions& options() const { return options_; }
  void SetInactivityLimitMs(std::int64_t ms) { options_.inactivityLimitMs = ms; }

  Text HttpResult() const { return Get(result_); }
  void SetHttpResult(Text t) { Set(result_, std::move(t)); }
  Text LastHttpError() const { return Get(lastError_); }
  void SetLastHttpError(Text t) { Set(lastError_, std::move(t)); }
  Text HttpReferrer() const { return Get(referrer_); }
  void SetHttpReferrer(Text t) { Set(referrer_, std::move(t)); }

  bool ShowHttpErrors() const { return showErrors_.load(); }
  void SetShowHttpErrors(bool on) { showErrors_ = on; }

  // Monotonic milliseconds of the running request's last sign of life.
  std::int64_t HttpActivityTime() const { return activity_.load(); }
  void TouchHttpActivity() { activity_ = clock_.MonotonicMs(); }

 private:
  Text Get(const Text& t) const {
    std::lock_guard lock(mutex_);
    return t;
  }
  void Set(Text& t, Text value) {
    std::lock_guard lock(mutex_);
    t = std::move(value);
  }

  const Clock& clock_;
  HttpOptions options_;
  mutable std::mutex mutex_;
  Text result_, lastError_, referrer_;
  std::atomic<bool> showErrors_{false};
  std::atomic<std::int64_t> activity_{0};
};

}  // namespace wexmoor
