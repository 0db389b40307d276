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
//
// While a whole save fails (the file made read-only by its owner, or one
// that cannot be read and is not replaced), the journal also takes the
// entries added and removed, so that the queue survives a crash or a kill;
// the save is tried again every 5 s, and the first one that succeeds holds
// the whole queue and ends those lines.
//
// The file is also the user's. The autosave knows the identity of the file
// it last read or wrote; every 2 s it looks whether the file changed (place,
// size, time), before each whole save it looks closer (a hash of the bytes
// as well), and on RequestReload (SIGHUP) it reads the file in any case.
// A changed file is read before anything is written: the servers go into
// the server table, the options and watch folders are kept for the next
// save and offered to the host (TakeReloaded), which brings them into its
// own state. The queue, the parts and the journal stay the program's.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
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
  ServerTable& servers;  // filled again when the file changed on disk
  const UploadQueue& queue;
  const DeliveryBook& delivery;
  const Clock& clock;
  // Where the server passwords go (the keyring, when there is one).
  PasswordPlacement* passwords = nullptr;
  // What the user paused: a change is saved whole (null: nothing is paused).
  const QueuePause* pause = nullptr;
};

// What a reading of the changed file brought, for the host.
struct ReloadedSettings {
  // Set when the file was read: its options and watch folders, with the
  // language the program runs in (and, in locked mode, its server choice).
  std::optional<GlobalOptions> options;
  int servers = 0;
  // The file was set aside, could not be read, or holds unusable lines.
  std::vector<std::string> problems;
};

class SettingsAutosave {
 public:
  static constexpr std::int64_t kPollMs = 100;
  // How often the file on disk is looked at.
  static constexpr std::int64_t kLookMs = 2000;
  static constexpr std::int64_t kShortestGapMs = 250;
  static constexpr std::int64_t kLongestGapMs = 1500;
  // After a whole save failed.
  static constexpr std::int64_t kFailedSaveGapMs = 5000;
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
  // Ignored while a reading of the file waits for the host to take it.
  void OfferOptions(const GlobalOptions& options);

  // The identity of the file as loaded at start-up (before Start).
  void SetKnownFile(const std::optional<FileIdentity>& identity) { known_ = identity; }
  // Reads the file at the next look, changed or not (SIGHUP).
  void RequestReload() { reloadRequested_ = true; }
  // What the last reading brought, once; the host applies the options to
  // its state (and its server list) before it offers options again.
  std::optional<ReloadedSettings> TakeReloaded();
  // Called only while the thread does not run (before Start, after Stop):
  // reads the file when it changed since it was last read or written, so
  // that a last save keeps the user's edit. True when it was read.
  bool ReloadIfChanged();
  // Called only while the thread does not run, after the last save at exit
  // failed: the journal takes the queue's changes since the last look.
  // False when they could not be written.
  bool KeepQueueInJournal();
  std::uint64_t Reloads() const { return reloads_.load(); }
  // Why whole saves fail, once per reason (as said on standard error), for
  // the host to show; nullopt when there is nothing new.
  std::optional<std::string> TakeSaveFailure();

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
  std::uint64_t QueueGeneration() const;
  // Appends what changed since the file and journal were last in step; false
  // when the journal cannot say it (a whole save is needed). `withEntries`:
  // entries added and removed are said too (the file cannot be written).
  bool JournalChanges(bool withEntries);
  // While the file cannot be written: journals the queue's changes, if any.
  bool JournalWhileRefused(std::uint64_t generation, std::uint64_t settingsGeneration,
                           std::uint64_t queueGeneration);
  bool SaveWhole(std::uint64_t generation, std::uint64_t settingsGeneration);
  // Reads the file into the server table and the options kept for saving.
  void Reload();
  void Run(std::stop_token stop);

  AutosaveSources sources_;
  DeliveredJournal* delivered_;
  std::mutex optionsMutex_;
  GlobalOptions options_;
  std::atomic<std::uint64_t> optionChanges_{0};
  std::mt19937 random_{std::random_device{}()};

  // What the file and the journal hold: the queue's entries in order, the
  // parts begun, and the server and option changes.
  std::vector<QueueEntry> savedEntries_;
  std::unordered_map<std::uint64_t, PartRecord> savedParts_;
  std::uint64_t savedSettingsGeneration_ = 0;
  bool wholeSaveNeeded_ = false;
  // The last whole save failed; the journal holds the queue's changes up to
  // journaledQueueGeneration_.
  bool refused_ = false;
  std::uint64_t journaledQueueGeneration_ = 0;
  std::atomic<std::uint64_t> durableGeneration_{0};

  std::int64_t lastSaveEndMs_ = 0;
  std::int64_t gapMs_ = kShortestGapMs;
  std::int64_t lastWholeCpuUs_ = 0;
  std::atomic<std::uint64_t> saves_{0};
  std::atomic<std::uint64_t> journalPasses_{0};
  std::atomic<std::int64_t> totalSaveCpuUs_{0};
  std::string lastError_;

  // The file as last read or written; nullopt when there was none.
  std::optional<FileIdentity> known_;
  std::atomic<bool> reloadRequested_{false};
  std::int64_t lastLookMs_ = 0;
  // Guarded by optionsMutex_.
  std::optional<ReloadedSettings> reloaded_;
  std::optional<std::string> saveFailure_;
  std::atomic<std::uint64_t> reloads_{0};
  std::jthread thread_;
};

}  // namespace wexmoor
