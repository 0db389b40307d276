#include "program/instance_start.h"

#include <algorithm>

#include "model/version.h"
#include "platform/code_page.h"
#include "platform/wait.h"

namespace wexmoor {

InstanceStart ClaimOrHandOver(const Text& folder, TextView prefFileName, const Text& pathList, std::ostream& err,
                              std::chrono::milliseconds timeout, const Text& server) {
  using SteadyClock = std::chrono::steady_clock;
  const auto deadline = SteadyClock::now() + timeout;
  while (true) {
    InstanceChannel::ClaimOutcome outcome = InstanceChannel::ClaimOutcome::unavailable;
    std::optional<InstanceChannel> channel = InstanceChannel::Claim(folder, prefFileName, &outcome);
    if (channel) return InstanceStart{std::move(channel), std::nullopt};
    if (outcome == InstanceChannel::ClaimOutcome::unavailable) return InstanceStart{};

    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) break;
    std::string reason;
    const InstanceChannel::HandOverOutcome sent = InstanceChannel::HandOver(
        folder, prefFileName, pathList, std::min(left, InstanceChannel::kHandOverTimeout), server, &reason);
    if (sent == InstanceChannel::HandOverOutcome::delivered) return InstanceStart{std::nullopt, 0};
    if (sent == InstanceChannel::HandOverOutcome::refused) {
      err << Utf16ToUtf8(kProductName) << ": the " << Utf16ToUtf8(kProductName)
          << " that runs in this folder cannot queue the paths: " << reason << '\n';
      return InstanceStart{std::nullopt, 1};
    }
    if (sent == InstanceChannel::HandOverOutcome::tooLong) {
      err << Utf16ToUtf8(kProductName) << ": too many paths to hand to the " << Utf16ToUtf8(kProductName)
          << " that runs in this folder.\n";
      return InstanceStart{std::nullopt, 1};
    }
    // A message sent without an answer may still be taken later: never send
    // it twice.
    if (sent == InstanceChannel::HandOverOutcome::noAnswer) break;
    // No socket: the owner is starting (not listening yet) or ending (lock
    // not yet free).
    PauseMs(kWaitSliceMs);
  }
  err << Utf16ToUtf8(kProductName) << ": another " << Utf16ToUtf8(kProductName)
      << " runs in this folder and did not answer.\n";
  return InstanceStart{std::nullopt, 1};
}

int HandOverQueueCommand(const Text& folder, TextView prefFileName, QueueCommand command, std::ostream& err,
                         std::chrono::milliseconds timeout) {
  using SteadyClock = std::chrono::steady_clock;
  const auto deadline = SteadyClock::now() + timeout;
  const std::string product = Utf16ToUtf8(kProductName);
  const std::string message = QueueCommandMessage(command);
  while (true) {
    InstanceChannel::ClaimOutcome outcome = InstanceChannel::ClaimOutcome::unavailable;
    // The lock free means nobody runs: it is let go at once.
    if (InstanceChannel::Claim(folder, prefFileName, &outcome) || outcome == InstanceChannel::ClaimOutcome::unavailable) {
      err << product << ": no " << product << " runs with these settings.\n";
      return 1;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) break;
    std::string reason;
    const InstanceChannel::HandOverOutcome sent = InstanceChannel::Send(
        folder, prefFileName, message, std::min(left, InstanceChannel::kHandOverTimeout), &reason);
    if (sent == InstanceChannel::HandOverOutcome::delivered) return 0;
    if (sent == InstanceChannel::HandOverOutcome::refused) {
      err << product << ": the " << product << " that runs with these settings refused: " << reason << '\n';
      return 1;
    }
    if (sent != InstanceChannel::HandOverOutcome::noListener) break;
    PauseMs(kWaitSliceMs);
  }
  err << product << ": the " << product << " that runs with these settings did not answer.\n";
  return 1;
}

}  // namespace wexmoor
