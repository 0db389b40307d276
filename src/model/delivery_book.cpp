#include "model/delivery_book.h"

namespace wexmoor {

Text PartRecordText(const PartRecord& part) { return IntToText(part.localSize) + u"|" + IntToText(part.localMtime); }

std::optional<PartRecord> ParsePartRecord(TextView text) {
  const std::size_t bar = text.find(u'|');
  if (bar == TextView::npos || bar == 0 || bar + 1 >= text.size()) return std::nullopt;
  auto digits = [](TextView t) {
    std::size_t i = t.starts_with(u'-') ? 1 : 0;
    if (i >= t.size() || t.size() > 19) return false;
    for (; i < t.size(); ++i)
      if (t[i] < u'0' || t[i] > u'9') return false;
    return true;
  };
  const TextView size = text.substr(0, bar);
  const TextView mtime = text.substr(bar + 1);
  if (!digits(size) || !digits(mtime) || size.starts_with(u'-')) return std::nullopt;
  return PartRecord{TextToInt(size), TextToInt(mtime)};
}

EntryDelivery DeliveryBook::Get(std::uint64_t id) const {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(id);
  return it == entries_.end() ? EntryDelivery{} : it->second;
}

void DeliveryBook::SetPart(std::uint64_t id, const PartRecord& part) {
  std::lock_guard lock(mutex_);
  EntryDelivery& e = entries_[id];
  if (e.part == part) return;
  e.part = part;
  ++changes_;
}

void DeliveryBook::SetStatus(std::uint64_t id, EntryStatus status, TextView error) {
  std::lock_guard lock(mutex_);
  EntryDelivery& e = entries_[id];
  e.status = status;
  if (!error.empty()) e.lastError = Text(error);
}

void DeliveryBook::EntryFailed(std::uint64_t id, TextView error, std::int64_t dueMs, std::int64_t dueWall) {
  std::lock_guard lock(mutex_);
  EntryDelivery& e = entries_[id];
  ++e.failures;
  e.status = EntryStatus::kWaiting;
  e.dueMs = dueMs;
  e.dueWall = dueWall;
  if (!error.empty()) e.lastError = Text(error);
}

bool DeliveryBook::EntryDue(std::uint64_t id, std::int64_t nowMs) const {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(id);
  return it == entries_.end() || it->second.dueMs <= nowMs;
}

int DeliveryBook::EntryFailures(std::uint64_t id) const {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(id);
  return it == entries_.end() ? 0 : it->second.failures;
}

std::vector<std::pair<std::uint64_t, PartRecord>> DeliveryBook::BegunParts() const {
  std::lock_guard lock(mutex_);
  std::vector<std::pair<std::uint64_t, PartRecord>> parts;
  for (const auto& [id, e] : entries_)
    if (e.part.Begun()) parts.emplace_back(id, e.part);
  return parts;
}

void DeliveryBook::Forget(std::uint64_t id) {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(id);
  if (it == entries_.end()) return;
  if (it->second.part.Begun()) ++changes_;
  entries_.erase(it);
}

void DeliveryBook::ServerFailed(const Text& server, std::int64_t dueMs) {
  std::lock_guard lock(mutex_);
  ServerHold& hold = servers_[server];
  ++hold.failures;
  hold.dueMs = dueMs;
}

bool DeliveryBook::ServerDue(const Text& server, std::int64_t nowMs) const {
  std::lock_guard lock(mutex_);
  auto it = servers_.find(server);
  return it == servers_.end() || it->second.dueMs <= nowMs;
}

int DeliveryBook::ServerFailures(const Text& server) const {
  std::lock_guard lock(mutex_);
  auto it = servers_.find(server);
  return it == servers_.end() ? 0 : it->second.failures;
}

void DeliveryBook::ServerWorked(const Text& server) {
  std::lock_guard lock(mutex_);
  servers_.erase(server);
}

void DeliveryBook::ClearWaits() {
  std::lock_guard lock(mutex_);
  for (auto& [id, e] : entries_) {
    e.dueMs = 0;
    e.dueWall = 0;
    if (e.status == EntryStatus::kWaiting) e.status = EntryStatus::kQueued;
  }
  for (auto& [name, hold] : servers_) hold.dueMs = 0;
}

std::uint64_t DeliveryBook::Changes() const {
  std::lock_guard lock(mutex_);
  return changes_;
}

}  // namespace wexmoor
