// When the desktop hears about uploads: once when the queue has emptied after
// uploads (one line per server), and once when an entry has failed three
// times in a row, until it succeeds or leaves the queue. Never one per file.
// The upload worker reports outcomes from its thread; the main loop asks for
// the notices to show on each pass. No window code here.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace wexmoor {

struct DesktopNotice {
  Text title;
  Text message;
  // The web address of the one file the notice is about ("" none): offered
  // as "Copy link" where the desktop takes actions, else in the message.
  Text link;
};

class UploadNotifications {
 public:
  static constexpr int kFailuresBeforeNotice = 3;

  // From the worker: the entry `entryId` for `server` was uploaded, or an
  // attempt at it failed.
  void Uploaded(std::uint64_t entryId, const Text& server);
  // From the worker, before Uploaded: the web address of the entry sent.
  void Linked(std::uint64_t entryId, const Text& link);
  void Failed(std::uint64_t entryId, const Text& fileName, const Text& server);
  // The entry left the queue some other way (removed by the user, its server
  // deleted): its failures are forgotten.
  void Removed(std::uint64_t entryId);

  // From the main loop: the notices due now. `queueEmpty` is the queue's
  // state at this pass; `enabled` false drops what would have been shown.
  std::vector<DesktopNotice> Due(bool queueEmpty, bool enabled);

 private:
  struct Failures {
    int inARow = 0;
    bool told = false;
  };

  std::mutex mutex_;
  // Servers in the order of their first upload since the last notice.
  std::vector<std::pair<Text, int>> uploaded_;
  std::unordered_map<std::uint64_t, Failures> failures_;
  std::vector<DesktopNotice> pending_;
  std::unordered_map<std::uint64_t, Text> links_;  // told by Linked, taken by Uploaded
  std::vector<Text> uploadedLinks_;                // of the uploads since the last notice
};

// "N files uploaded to SERVER", one line per server.
Text UploadedMessage(const std::vector<std::pair<Text, int>>& perServer);

}  // namespace wexmoor
