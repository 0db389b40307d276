#include "program/hand_over_receiver.h"

#include <chrono>

#include "platform/code_page.h"

namespace wexmoor {

namespace {
constexpr auto kPassInterval = std::chrono::milliseconds(10);
}

std::string ApplyQueueCommand(QueueCommand command, QueuePause& pause) {
  switch (command) {
    case QueueCommand::kPause:
      pause.SetAll(true);
      return "Uploads paused";
    case QueueCommand::kResume:
      pause.ResumeAll();
      return "Uploads resumed";
    case QueueCommand::kNone:
    case QueueCommand::kUnknown:
      break;
  }
  return {};
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
    std::optional<HandOverRequest> request =
        channel_.PollRequest([this](const HandOverRequest& r) { return Judge(r); });
    if (!request) return;
    std::lock_guard lock(mutex_);
    keptUnits_ += request->paths.size() + request->server.size();
    kept_.push_back(std::move(*request));
  }
}

std::vector<HandOverRequest> HandOverReceiver::TakeRequests() {
  std::lock_guard lock(mutex_);
  std::vector<HandOverRequest> taken;
  taken.swap(kept_);
  keptUnits_ = 0;
  return taken;
}

std::vector<Text> HandOverReceiver::TakePaths() {
  std::vector<Text> paths;
  for (HandOverRequest& request : TakeRequests()) paths.push_back(std::move(request.paths));
  return paths;
}

void HandOverReceiver::SetServerCheck(std::function<bool(const Text&)> exists) {
  std::lock_guard lock(mutex_);
  exists_ = std::move(exists);
}

void HandOverReceiver::NoteChosenServer(const Text& name) {
  std::lock_guard lock(mutex_);
  chosen_ = name;
}

std::string HandOverReceiver::Judge(const HandOverRequest& request) {
  std::lock_guard lock(mutex_);
  // A pause or resume goes to the program whatever its servers.
  if (!exists_ || request.command != QueueCommand::kNone) return {};
  Text name = request.server;
  if (name.empty()) {
    if (!chosen_) return {};
    if (chosen_->empty()) return "no server is chosen; name one with --to \"SERVER NAME\"";
    name = *chosen_;
  }
  if (!exists_(name)) return "no server named \"" + Utf16ToUtf8(name) + "\"";
  return {};
}

void HandOverReceiver::Stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
  Receive();
  channel_.StopListening();
}

}  // namespace wexmoor
