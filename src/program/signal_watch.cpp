#include "program/signal_watch.h"

#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "platform/wait.h"

namespace wexmoor {

namespace {
sigset_t WatchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}
}  // namespace

SignalWatch::SignalWatch() {
  sigset_t set = WatchedSignals();
  pthread_sigmask(SIG_BLOCK, &set, &previousMask_);
  fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

SignalWatch::~SignalWatch() {
  if (fd_ >= 0) ::close(fd_);
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

bool SignalWatch::Wait(int timeoutMs) {
  if (fd_ < 0) return false;
  if (WaitForDescriptor(fd_, POLLIN, timeoutMs) != WaitResult::kReady) return false;
  signalfd_siginfo info;
  bool got = false;
  while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) got = true;
  return got;
}

}  // namespace wexmoor
