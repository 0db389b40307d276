// Keeps the preference file in step with the running program: a thread that
// notices changes of the queue, the server table, the entries' parts and the
// options, and saves them within about 2 s through the same atomic replace
// as the save at exit. Saves are coalesced: after a save the next one waits
// at least 20 times as long as the last one cost in processor time (between
// 0.25 and 1.5 s), so a draining queue of any size costs under 5 % of a core.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "model/delivery_book.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "model/upload_queue.h"
#include "settings/delivered_journal.h"
#include "model/global_options.h"
#include "model/server_table.h"
#include "settings/settings_store.h"

namespace wexmoor {

struct AutosaveSources {
  Text fileName;
  bool lockedMode = false;
  const ServerTable& servers;
  const UploadQueue& queue;
  const DeliveryBook& delivery;
  const Clock& clock;
  // Where the server passwords go (the keyring, when there is one).
  PasswordPlacement* passwords = nullptr;
};

class SettingsAutosave {
 public:
  static constexpr std::int64_t kPollMs = 100;
  static constexpr std::int64_t kShortestGapMs = 250;
  static constexpr std::int64_t kLongestGapMs = 1500;

  // `delivered` (optional) loses the lines each save makes useless.
  SettingsAutosave(AutosaveSources sources, const GlobalOptions& options, DeliveredJournal* delivered = nullptr);
  ~SettingsAutosave();
  SettingsAutosave(const SettingsAutosave&) = delete;
  SettingsAutosave& operator=(const SettingsAutosave&) = delete;

  void Start();
  // Stop request and join; no save is begun after it returns.
  void Stop();

  // The window's thread hands over the options; a difference is a change.
  void OfferOptions(const GlobalOptions& options);

  // One look: saves when something changed since the last save and the gap
  // after it has passed. True when it saved.
  bool SaveIfDue();

  std::uint64_t Saves() const { return saves_.load(); }
  std::int64_t LastSaveCpuUs() const { return lastSaveCpuUs_.load(); }
  // Processor time spent saving, all saves together.
  std::int64_t TotalSaveCpuUs() const { return totalSaveCpuUs_.load(); }
  const std::string& LastError() const { return lastError_; }

 private:
  std::uint64_t Generation() const;
  void Run(std::stop_token stop);

  AutosaveSources sources_;
  DeliveredJournal* delivered_;
  std::mutex optionsMutex_;
  GlobalOptions options_;
  std::atomic<std::uint64_t> optionChanges_{0};
  std::mt19937 random_{std::random_device{}()};

  std::uint64_t savedGeneration_ = 0;
  std::int64_t lastSaveEndMs_ = 0;
  std::int64_t gapMs_ = kShortestGapMs;
  std::atomic<std::uint64_t> saves_{0};
  std::atomic<std::int64_t> lastSaveCpuUs_{0};
  std::atomic<std::int64_t> totalSaveCpuUs_{0};
  std::string lastError_;
  std::jthread thread_;
};

}  // namespace wexmoor
