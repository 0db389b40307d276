// Takes later starts' paths from the moment this program owns its folder,
// whatever the program is busy with (the language chooser, the welcome
// window, a message box), so that a later start is answered at once and
// ends. The paths are kept until the program can queue them, which it does
// through drop intake once its window is up.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <stop_token>
#include <thread>
#include <vector>

#include "model/queue_pause.h"
#include "platform/text.h"
#include "program/instance_channel.h"

namespace wexmoor {

// What a later start's --pause or --resume does: "Pause all" or "Resume all".
// A log line for the service ("Uploads paused", "Uploads resumed"); empty for
// no command.
std::string ApplyQueueCommand(QueueCommand command, QueuePause& pause);

class HandOverReceiver {
 public:
  // Characters of paths kept and not yet taken; while that many wait, later
  // starts are not answered (they say so and end).
  static constexpr std::size_t kDefaultKeptLimit = 16u << 20;

  // From now on the channel belongs to the receiver's thread until Stop().
  explicit HandOverReceiver(InstanceChannel& channel, std::size_t keptLimit = kDefaultKeptLimit);
  ~HandOverReceiver();
  HandOverReceiver(const HandOverReceiver&) = delete;
  HandOverReceiver& operator=(const HandOverReceiver&) = delete;

  // The path lists received since the last call, oldest first; each holds
  // paths followed by "\r", as InstanceChannel::PollPaths gives them.
  std::vector<Text> TakePaths();
  // The same with the server each names (empty: the program's choice).
  std::vector<HandOverRequest> TakeRequests();
  // From now on a request is refused when the server it goes to does not
  // exist by `exists` (called on the receiver's thread: it must be safe to
  // call from there). A request that names no server goes to the one the
  // program has chosen (NoteChosenServer); until that is known it is taken.
  void SetServerCheck(std::function<bool(const Text&)> exists);
  // The program's choice now (the host's pass); empty: none is chosen.
  void NoteChosenServer(const Text& name);

  // Ends the thread, takes what is complete by now and stops listening, so a
  // later start no longer hands its paths to a program that is ending: it
  // waits for the folder instead. TakePaths still gives what was kept.
  void Stop();

 private:
  void Run(std::stop_token stop);
  void Receive();

  InstanceChannel& channel_;
  const std::size_t keptLimit_;
  std::mutex mutex_;
  std::vector<HandOverRequest> kept_;
  std::string Judge(const HandOverRequest& request);
  std::function<bool(const Text&)> exists_;
  std::optional<Text> chosen_;
  std::size_t keptUnits_ = 0;
  std::jthread thread_;
};

}  // namespace wexmoor
