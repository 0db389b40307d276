// Keeps the preference file in step with the running program: a thread that
// notices changes of the queue, the server table, the entries' parts and the
// options, and brings them to the disk within about 2 s.
//
// With the journal beside the preference file, the changes a draining queue
// makes (entries delivered, parts begun) reach the disk as appended lines
// (the worker journals each delivery itself; the parts are journaled here),
// and the file is written whole, through the same atomic replace as the save
// at exit, only when something else changed (an entry added, one removed by
// the user, a server, an option) or when the journal has grown long. Whole
// saves are coalesced: after one, the next waits at least 20 times as long
// as the last one cost in processor time (between 0.25 and 1.5 s); one made
// only to shorten the journal waits 40 times as long.
// Without a journal every change is saved whole.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

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
  // Journal lines from which the file is written whole again, so that a
  // start after a crash has little to apply.
  static constexpr std::size_t kCompactLines = 4096;
  static constexpr std::int64_t kCompactCostFactor = 40;

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

  // One look: journals or saves what changed since the last look, a whole
  // save once the gap after the last one has passed. True when something
  // reached the disk.
  bool SaveIfDue();

  // Counts every change of the sources; changes counted up to
  // DurableGeneration() are on the disk.
  std::uint64_t Generation() const;
  std::uint64_t DurableGeneration() const { return durableGeneration_.load(); }

  // Whole saves, and looks that only appended to the journal.
  std::uint64_t Saves() const { return saves_.load(); }
  std::uint64_t JournalPasses() const { return journalPasses_.load(); }
  // Processor time spent saving and journaling, all looks together.
  std::int64_t TotalSaveCpuUs() const { return totalSaveCpuUs_.load(); }
  const std::string& LastError() const { return lastError_; }

 private:
  std::uint64_t SettingsGeneration() const;
  // Appends what changed since the file and journal were last in step; false
  // when the journal cannot say it (a whole save is needed).
  bool JournalChanges();
  bool SaveWhole(std::uint64_t generation, std::uint64_t settingsGeneration);
  void Run(std::stop_token stop);

  AutosaveSources sources_;
  DeliveredJournal* delivered_;
  std::mutex optionsMutex_;
  GlobalOptions options_;
  std::atomic<std::uint64_t> optionChanges_{0};
  std::mt19937 random_{std::random_device{}()};

  // What the file and the journal hold: the queue's identities in order, the
  // parts begun, and the server and option changes.
  std::vector<std::uint64_t> savedIds_;
  std::unordered_map<std::uint64_t, PartRecord> savedParts_;
  std::uint64_t savedSettingsGeneration_ = 0;
  bool wholeSaveNeeded_ = false;
  std::atomic<std::uint64_t> durableGeneration_{0};

  std::int64_t lastSaveEndMs_ = 0;
  std::int64_t gapMs_ = kShortestGapMs;
  std::int64_t lastWholeCpuUs_ = 0;
  std::atomic<std::uint64_t> saves_{0};
  std::atomic<std::uint64_t> journalPasses_{0};
  std::atomic<std::int64_t> totalSaveCpuUs_{0};
  std::string lastError_;
  std::jthread thread_;
};

}  // namespace wexmoor
