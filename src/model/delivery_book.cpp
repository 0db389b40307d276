#include "model/delivery_book.h"

#include <sys/random.h>

#include <chrono>
#include <cstdio>

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

namespace {

bool Digits(TextView t) {
  if (t.empty() || t.size() > 19) return false;
  for (char16_t c : t)
    if (c < u'0' || c > u'9') return false;
  return true;
}

}  // namespace

Text PartOwnerText(const PartRecord& part) {
  Text path;
  for (char16_t c : part.remotePath) {
    if (c == u'%') path += u"%25";
    else if (c == u'|') path += u"%7C";
    else path += c;
  }
  return IntToText(part.localMtimeNs) + u"|" + IntToText(static_cast<long long>(part.inode)) + u"|" +
         (part.renameIssued ? u"1" : u"0") + u"|" + part.token + u"|" + path;
}

bool ParsePartOwner(TextView text, PartRecord& part) {
  TextView field[5];
  for (int i = 0; i < 4; ++i) {
    const std::size_t bar = text.find(u'|');
    if (bar == TextView::npos) return false;
    field[i] = text.substr(0, bar);
    text.remove_prefix(bar + 1);
  }
  field[4] = text;
  if (!Digits(field[0]) || !Digits(field[1]) || (field[2] != u"0" && field[2] != u"1")) return false;
  for (char16_t c : field[3])
    if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return false;
  Text path;
  for (std::size_t i = 0; i < field[4].size(); ++i) {
    if (field[4][i] != u'%') {
      path += field[4][i];
      continue;
    }
    const TextView code = field[4].substr(i + 1, 2);
    if (code == u"25") path += u'%';
    else if (code == u"7C") path += u'|';
    else return false;
    i += 2;
  }
  part.localMtimeNs = TextToInt(field[0]);
  part.inode = static_cast<std::uint64_t>(TextToInt(field[1]));
  part.renameIssued = field[2] == u"1";
  part.token = Text(field[3]);
  part.remotePath = std::move(path);
  return true;
}

Text NewPartToken() {
  std::uint64_t value = 0;
  if (getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
    // No entropy source: the time still tells two entries apart.
    value = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) *
            0x9E3779B97F4A7C15ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return AsciiToText(text);
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
  if (!part.Begun() || part.remotePath.empty()) return;
  for (auto& [other, record] : entries_) {
    if (other == id || !record.part.Begun() || record.part.remotePath != part.remotePath) continue;
    record.part = PartRecord{};
    ++changes_;
  }
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
