#include "program/hand_over_receiver.h"

#include <chrono>

namespace wexmoor {

namespace {
constexpr auto kPassInterval = std::chrono::milliseconds(10);
}

HandOverReceiver::HandOverReceiver(InstanceChannel& channel, std::size_t keptLimit)
    : channel_(channel), keptLimit_(keptLimit), thread_([this](std::stop_token stop) { Run(stop); }) {}

HandOverReceiver::~HandOverReceiver() { Stop(); }

void HandOverReceiver::Run(std::stop_token stop) {
  while (!stop.stop_requested()) {
    Receive();
    std::this_thread::sleep_for(kPassInterval);
  }
}

void HandOverReceiver::Receive() {
  while (true) {
    {
      std::lock_guard lock(mutex_);
      // Full: senders wait unanswered in the socket's queue.
      if (keptUnits_ >= keptLimit_) return;
    }
    std::optional<Text> paths = channel_.PollPaths();
    if (!paths) return;
    std::lock_guard lock(mutex_);
    keptUnits_ += paths->size();
    kept_.push_back(std::move(*paths));
  }
}

std::vector<Text> HandOverReceiver::TakePaths() {
  std::lock_guard lock(mutex_);
  std::vector<Text> taken;
  taken.swap(kept_);
  keptUnits_ = 0;
  return taken;
}

void HandOverReceiver::Stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
  Receive();
  channel_.StopListening();
}

}  // namespace wexmoor
