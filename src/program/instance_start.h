// What a start in a folder does: own the folder, or hand its paths to the
// program that owns it.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>

#include "platform/text.h"
#include "program/instance_channel.h"

namespace wexmoor {

struct InstanceStart {
  // Set: this program owns the folder and polls the channel.
  std::optional<InstanceChannel> channel;
  // Set: end at once with this code (0: the paths were handed over; 1: the
  // running program did not take them or could not queue them, and a
  // message with the reason went to `err`).
  std::optional<int> exitCode;
};

// Claims the folder, or hands `pathList` to its owner. Retries for at most
// `timeout` while the owner is starting or ending (lock held, no socket yet or
// any more). Neither set: the folder cannot be locked; the program runs on its
// own.
// `server`, when not empty, is the server the paths go to (--to).
InstanceStart ClaimOrHandOver(const Text& folder, TextView prefFileName, const Text& pathList, std::ostream& err,
                              std::chrono::milliseconds timeout = std::chrono::milliseconds(5000),
                              const Text& server = {});

// `wexmoor --pause` / `--resume`: hands `command` to the program that owns
// `folder`, never claiming it for itself. 0 once the program took it; 1 with
// the reason on `err` when no program runs there (or it did not take it).
// Retries for at most `timeout` while the owner is starting or ending.
int HandOverQueueCommand(const Text& folder, TextView prefFileName, QueueCommand command, std::ostream& err,
                         std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

}  // namespace wexmoor
