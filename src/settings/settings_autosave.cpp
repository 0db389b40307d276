#include "settings/settings_autosave.h"

#include <algorithm>
#include <ctime>
#include <iostream>
#include <unordered_set>

#include "platform/files.h"
#include "settings/settings_store.h"

namespace wexmoor {
namespace {

std::int64_t ThreadCpuUs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

}  // namespace

SettingsAutosave::SettingsAutosave(AutosaveSources sources, const GlobalOptions& options,
                                   DeliveredJournal* delivered)
    : sources_(std::move(sources)), delivered_(delivered), options_(options) {
  // The file and the journal hold the model as it is now.
  savedEntries_ = sources_.queue.Entries();
  for (const auto& [id, part] : sources_.delivery.BegunParts()) savedParts_[id] = part;
  savedSettingsGeneration_ = SettingsGeneration();
  durableGeneration_ = Generation();
  lastLookMs_ = sources_.clock.MonotonicMs();
  // The file as it is now is the one the sources came from (SetKnownFile
  // says so more exactly, with the identity of the file as it was loaded).
  if (const std::optional<std::string> bytes = ReadWholeFile(sources_.fileName))
    known_ = StatIdentity(sources_.fileName, ContentHash(*bytes));
  // Lines left by an earlier run are applied: the next whole save ends them.
  wholeSaveNeeded_ = delivered_ != nullptr && delivered_->Count() > 0;
}

SettingsAutosave::~SettingsAutosave() { Stop(); }

void SettingsAutosave::Start() {
  if (thread_.joinable()) return;
  thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void SettingsAutosave::Stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
}

void SettingsAutosave::OfferOptions(const GlobalOptions& options) {
  std::lock_guard lock(optionsMutex_);
  if (reloaded_ || options == options_) return;
  options_ = options;
  ++optionChanges_;
}

std::optional<ReloadedSettings> SettingsAutosave::TakeReloaded() {
  std::lock_guard lock(optionsMutex_);
  std::optional<ReloadedSettings> taken = std::move(reloaded_);
  reloaded_.reset();
  return taken;
}

std::optional<std::string> SettingsAutosave::TakeSaveFailure() {
  std::lock_guard lock(optionsMutex_);
  std::optional<std::string> taken = std::move(saveFailure_);
  saveFailure_.reset();
  return taken;
}

bool SettingsAutosave::ReloadIfChanged() {
  if (thread_.joinable()) return false;
  if (!reloadRequested_.exchange(false) && !FileChangedSince(sources_.fileName, known_, true)) return false;
  Reload();
  return true;
}

void SettingsAutosave::Reload() {
  ServerTable servers;
  GlobalOptions options;
  UploadQueue unusedQueue;
  UiMessageRing unusedRing;
  SettingsReadReport report;
  LoadSettings(sources_.fileName, sources_.lockedMode, servers, options, unusedQueue, unusedRing, nullptr,
               sources_.passwords, &report);
  ReloadedSettings reloaded;
  reloaded.problems = std::move(report.problems);
  if (report.outcome == PreferenceFile::ReadOutcome::kMissing)
    reloaded.problems.push_back(SettingsProblem(kMissingProblem, {sources_.fileName}));
  if (report.outcome != PreferenceFile::ReadOutcome::kRead) {
    // Gone, set aside or unreadable: the program's settings stay and are
    // written anew where that is possible.
    known_ = report.outcome == PreferenceFile::ReadOutcome::kCannotRead ? StatIdentity(sources_.fileName) : std::nullopt;
    wholeSaveNeeded_ = report.outcome != PreferenceFile::ReadOutcome::kCannotRead;
    if (!reloaded.problems.empty()) {
      std::lock_guard lock(optionsMutex_);
      reloaded_ = std::move(reloaded);
    }
    return;
  }
  known_ = report.identity;
  if (!sources_.lockedMode) {
    // Only the slots that differ: the table counts every change.
    for (int n = 1; n <= ServerTable::kMaxServers; ++n) {
      const ServerRecord record = servers.Get(n);
      if (sources_.servers.Get(n) != record) sources_.servers.Set(n, record);
    }
  }
  reloaded.servers = sources_.servers.Count();
  std::lock_guard lock(optionsMutex_);
  options.language = options_.language;  // chosen at start-up, kept
  if (sources_.lockedMode) {
    options.hideServerList = options_.hideServerList;
    options.currentServer = options_.currentServer;
  }
  if (options != options_) {
    options_ = options;
    ++optionChanges_;
  }
  reloaded.options = std::move(options);
  reloaded_ = std::move(reloaded);
  ++reloads_;
}

std::uint64_t SettingsAutosave::SettingsGeneration() const {
  return sources_.servers.Changes() + optionChanges_.load() +
         (sources_.pause != nullptr ? sources_.pause->Changes() : 0);
}

std::uint64_t SettingsAutosave::QueueGeneration() const {
  return sources_.queue.Changes() + sources_.delivery.Changes();
}

std::uint64_t SettingsAutosave::Generation() const { return QueueGeneration() + SettingsGeneration(); }

bool SettingsAutosave::JournalChanges(bool withEntries) {
  if (delivered_ == nullptr) return false;
  std::vector<QueueEntry> entries;
  std::vector<std::uint64_t> ids;
  if (withEntries) {
    entries = sources_.queue.Entries();
    ids.reserve(entries.size());
    for (const QueueEntry& e : entries) ids.push_back(e.id);
  } else {
    ids = sources_.queue.Ids();
  }
  // The file's entries, in the file's order (the user may have moved some),
  // less those journaled as delivered: anything else (an entry added,
  // removed by the user or moved since) needs a whole save, or lines of its
  // own while the file cannot be written.
  std::unordered_set<std::uint64_t> removed;
  std::vector<QueueEntry> removedByUser;
  std::size_t at = 0;
  for (const QueueEntry& saved : savedEntries_) {
    if (at < ids.size() && ids[at] == saved.id) {
      ++at;
      continue;
    }
    // Gone without a delivery line (the user removed it): only a whole save
    // says that, or a line of its own while the file cannot be written.
    if (!delivered_->Journaled(saved.id)) {
      if (!withEntries) return false;
      removedByUser.push_back(saved);
    }
    removed.insert(saved.id);
  }
  if (at != ids.size() && !withEntries) return false;  // added
  if (withEntries) {
    const std::vector<QueueEntry> added(entries.begin() + static_cast<std::ptrdiff_t>(at), entries.end());
    if (!delivered_->AddEntries(removedByUser, added)) return false;
  }

  const std::unordered_set<std::uint64_t> queued(ids.begin(), ids.end());
  const auto inQueue = [&queued](std::uint64_t id) { return queued.contains(id); };
  const auto text = [this](std::uint64_t id) -> std::optional<Text> {
    const std::optional<QueueEntry> entry = sources_.queue.At(sources_.queue.FindById(id));
    if (!entry || entry->id != id) return std::nullopt;
    return entry->text;
  };
  std::unordered_map<std::uint64_t, PartRecord> parts;
  for (const auto& [id, part] : sources_.delivery.BegunParts())
    if (inQueue(id)) parts[id] = part;
  for (const auto& [id, part] : parts) {
    auto saved = savedParts_.find(id);
    if (saved != savedParts_.end() && saved->second == part) continue;
    // An entry gone since the identities were read is seen at the next look.
    const std::optional<Text> entry = text(id);
    if (!entry) continue;
    if (!delivered_->AddPart(*entry, part)) return false;
    savedParts_[id] = part;
  }
  for (auto it = savedParts_.begin(); it != savedParts_.end();) {
    if (removed.contains(it->first)) {
      it = savedParts_.erase(it);
      continue;
    }
    if (parts.contains(it->first)) {
      ++it;
      continue;
    }
    // The part was dropped (the next attempt starts from 0).
    const std::optional<Text> entry = text(it->first);
    if (!entry) {
      ++it;
      continue;
    }
    if (!delivered_->AddPart(*entry, PartRecord{})) return false;
    it = savedParts_.erase(it);
  }
  if (withEntries)
    savedEntries_ = std::move(entries);
  else
    std::erase_if(savedEntries_, [&removed](const QueueEntry& e) { return removed.contains(e.id); });
  return true;
}

bool SettingsAutosave::JournalWhileRefused(std::uint64_t generation, std::uint64_t settingsGeneration,
                                           std::uint64_t queueGeneration) {
  if (!refused_ || delivered_ == nullptr || queueGeneration == journaledQueueGeneration_) return false;
  const std::int64_t cpuStart = ThreadCpuUs();
  const bool journaled = JournalChanges(true);
  totalSaveCpuUs_ += ThreadCpuUs() - cpuStart;
  if (!journaled) return false;
  journaledQueueGeneration_ = queueGeneration;
  // The servers and options wait for the file; the queue is on the disk.
  if (settingsGeneration == savedSettingsGeneration_) durableGeneration_ = generation;
  ++journalPasses_;
  return true;
}

bool SettingsAutosave::KeepQueueInJournal() {
  if (thread_.joinable() || delivered_ == nullptr) return false;
  refused_ = true;
  return JournalChanges(true);
}

bool SettingsAutosave::SaveWhole(std::uint64_t generation, std::uint64_t settingsGeneration) {
  // An edit on disk comes first: it is read, then written back with the
  // program's queue.
  if (FileChangedSince(sources_.fileName, known_, true)) {
    Reload();
    generation = Generation();
    settingsGeneration = SettingsGeneration();
  }
  GlobalOptions options;
  {
    std::lock_guard lock(optionsMutex_);
    options = options_;
  }
  const std::int64_t cpuStart = ThreadCpuUs();
  // Deliveries journaled before the queue is read are in this save.
  const std::size_t journaled = delivered_ != nullptr ? delivered_->Count() : 0;
  // Parts read before the entries: a part that changes in between is written
  // newer than remembered, and journaled once more at the next look.
  const std::vector<std::pair<std::uint64_t, PartRecord>> parts = sources_.delivery.BegunParts();
  std::vector<QueueEntry> entries = sources_.queue.Entries();
  std::string error;
  FileIdentity written;
  const bool saved = SaveSettings(sources_.fileName, sources_.lockedMode, sources_.servers, options, entries,
                                  std::nullopt, random_, &error, &sources_.delivery, sources_.passwords, &written,
                                  sources_.pause);
  if (saved) known_ = written;
  if (delivered_ != nullptr && saved) {
    std::unordered_set<std::uint64_t> inFile;
    for (const QueueEntry& e : entries) inFile.insert(e.id);
    delivered_->DropFirst(journaled, [&inFile](std::uint64_t id) { return inFile.contains(id); });
  }
  const std::int64_t cpuUs = ThreadCpuUs() - cpuStart;
  totalSaveCpuUs_ += cpuUs;
  lastWholeCpuUs_ = cpuUs;
  lastSaveEndMs_ = sources_.clock.MonotonicMs();
  gapMs_ = std::clamp<std::int64_t>(cpuUs * 20 / 1000, kShortestGapMs, kLongestGapMs);
  if (!saved) {
    // Said once per kind of failure; tried again after a longer gap (a file
    // made read-only stays so for a while).
    gapMs_ = kFailedSaveGapMs;
    if (error != lastError_) {
      std::cerr << "Wexmoor: settings not saved: " << error << '\n';
      std::lock_guard lock(optionsMutex_);
      saveFailure_ = error;
    }
    lastError_ = error;
    refused_ = true;
    return false;
  }
  savedParts_.clear();
  std::unordered_set<std::uint64_t> inFile;
  for (const QueueEntry& e : entries) inFile.insert(e.id);
  for (const auto& [id, part] : parts)
    if (inFile.contains(id)) savedParts_[id] = part;
  savedEntries_ = std::move(entries);
  refused_ = false;
  savedSettingsGeneration_ = settingsGeneration;
  wholeSaveNeeded_ = false;
  // Changes made while saving are not in the generation read before: they
  // are saved next time.
  durableGeneration_ = generation;
  lastError_.clear();
  ++saves_;
  return true;
}

bool SettingsAutosave::SaveIfDue() {
  const std::int64_t now = sources_.clock.MonotonicMs();
  if (reloadRequested_.exchange(false)) {
    lastLookMs_ = now;
    Reload();
  } else if (now - lastLookMs_ >= kLookMs) {
    lastLookMs_ = now;
    if (FileChangedSince(sources_.fileName, known_, false)) Reload();
  }
  const std::uint64_t settingsGeneration = SettingsGeneration();
  const std::uint64_t queueGeneration = QueueGeneration();
  const std::uint64_t generation = queueGeneration + settingsGeneration;
  // While the file cannot be written, the queue's changes go to the journal.
  bool wrote = JournalWhileRefused(generation, settingsGeneration, queueGeneration);
  if (generation != durableGeneration_.load() && !wholeSaveNeeded_) {
    const std::int64_t cpuStart = ThreadCpuUs();
    if (settingsGeneration == savedSettingsGeneration_ && JournalChanges(false)) {
      durableGeneration_ = generation;
      ++journalPasses_;
      wrote = true;
    } else {
      wholeSaveNeeded_ = true;
    }
    totalSaveCpuUs_ += ThreadCpuUs() - cpuStart;
  }
  if (generation != durableGeneration_.load()) wholeSaveNeeded_ = true;
  const bool compact = delivered_ != nullptr && delivered_->Count() >= kCompactLines;
  if (!wholeSaveNeeded_ && !compact) return wrote;
  std::int64_t gap = gapMs_;
  if (!wholeSaveNeeded_) gap = std::max(gap, lastWholeCpuUs_ * kCompactCostFactor / 1000);
  if (sources_.clock.MonotonicMs() - lastSaveEndMs_ < gap) return wrote;
  if (SaveWhole(generation, settingsGeneration)) return true;
  // Refused: the journal keeps the queue at once.
  return JournalWhileRefused(generation, settingsGeneration, queueGeneration) || wrote;
}

void SettingsAutosave::Run(std::stop_token stop) {
  while (sources_.clock.SleepFor(kPollMs, stop)) SaveIfDue();
}

}  // namespace wexmoor
