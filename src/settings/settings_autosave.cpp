#include "settings/settings_autosave.h"

#include <algorithm>
#include <ctime>
#include <iostream>

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
  savedGeneration_ = Generation();
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
  if (options == options_) return;
  options_ = options;
  ++optionChanges_;
}

std::uint64_t SettingsAutosave::Generation() const {
  return sources_.queue.Changes() + sources_.servers.Changes() + sources_.delivery.Changes() + optionChanges_.load();
}

bool SettingsAutosave::SaveIfDue() {
  const std::uint64_t generation = Generation();
  if (generation == savedGeneration_) return false;
  if (sources_.clock.MonotonicMs() - lastSaveEndMs_ < gapMs_) return false;
  GlobalOptions options;
  {
    std::lock_guard lock(optionsMutex_);
    options = options_;
  }
  const std::int64_t cpuStart = ThreadCpuUs();
  // Deliveries journaled before the queue is read are in this save.
  const std::size_t journaled = delivered_ != nullptr ? delivered_->Count() : 0;
  std::string error;
  const bool saved = SaveSettings(sources_.fileName, sources_.lockedMode, sources_.servers, options, sources_.queue,
                                  std::nullopt, random_, &error, &sources_.delivery, sources_.passwords);
  if (delivered_ != nullptr && saved) delivered_->DropFirst(journaled);
  const std::int64_t cpuUs = ThreadCpuUs() - cpuStart;
  lastSaveCpuUs_.store(cpuUs);
  totalSaveCpuUs_ += cpuUs;
  lastSaveEndMs_ = sources_.clock.MonotonicMs();
  gapMs_ = std::clamp<std::int64_t>(cpuUs * 20 / 1000, kShortestGapMs, kLongestGapMs);
  if (!saved) {
    // Said once per kind of failure; tried again after the gap.
    if (error != lastError_) std::cerr << "Wexmoor: settings not saved: " << error << '\n';
    lastError_ = error;
    return false;
  }
  // Changes made while saving are not in the generation read before: they
  // are saved next time.
  savedGeneration_ = generation;
  lastError_.clear();
  ++saves_;
  return true;
}

void SettingsAutosave::Run(std::stop_token stop) {
  while (sources_.clock.SleepFor(kPollMs, stop)) SaveIfDue();
}

}  // namespace wexmoor
