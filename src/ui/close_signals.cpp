#include "ui/close_signals.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

namespace wexmoor {
namespace {

sigset_t CloseSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

CloseSignals::CloseSignals() {
  const sigset_t set = CloseSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool CloseSignals::Arrived() {
  if (arrived_) return true;
  const sigset_t set = CloseSet();
  const timespec now{0, 0};
  if (sigtimedwait(&set, nullptr, &now) > 0) arrived_ = true;
  return arrived_;
}

}  // namespace wexmoor
