#include "model/server_table.h"

#include <algorithm>

namespace wexmoor {

int UploadConnections(const ServerRecord& record) {
  return record.connections >= 1 && record.connections <= ServerRecord::kMaxConnections
             ? record.connections
             : ServerRecord::kDefaultConnections;
}

namespace {
ServerRecord EmptyRecord() {
  ServerRecord r;
  r.port = 0;
  return r;
}
}  // namespace

ServerTable::ServerTable() { slots_.fill(EmptyRecord()); }

ServerRecord ServerTable::Get(int slot) const {
  if (slot < 1 || slot >= kSlots) return EmptyRecord();
  std::lock_guard lock(mutex_);
  return slots_[static_cast<std::size_t>(slot)];
}

void ServerTable::Set(int slot, const ServerRecord& record) {
  if (slot < 1 || slot >= kSlots) return;
  std::lock_guard lock(mutex_);
  slots_[static_cast<std::size_t>(slot)] = record;
  ++changes_;
}

int ServerTable::FindServer(TextView name) const {
  std::lock_guard lock(mutex_);
  int s = 1;
  while (s < kSlots && !slots_[static_cast<std::size_t>(s)].name.empty() &&
         slots_[static_cast<std::size_t>(s)].name != name)
    ++s;
  return s;
}

int ServerTable::Count() const {
  std::lock_guard lock(mutex_);
  int n = 0;
  while (n + 1 < kSlots && !slots_[static_cast<std::size_t>(n + 1)].name.empty()) ++n;
  return n;
}

std::vector<Text> ServerTable::Names() const {
  std::lock_guard lock(mutex_);
  std::vector<Text> out;
  for (int s = 1; s < kSlots && !slots_[static_cast<std::size_t>(s)].name.empty(); ++s)
    out.push_back(slots_[static_cast<std::size_t>(s)].name);
  return out;
}

void ServerTable::DeleteServer(int slot) {
  if (slot < 1 || slot >= kSlots) return;
  std::lock_guard lock(mutex_);
  ++changes_;
  int s = slot;
  while (s + 1 < kSlots) {
    slots_[static_cast<std::size_t>(s)] = slots_[static_cast<std::size_t>(s + 1)];
    if (slots_[static_cast<std::size_t>(s)].name.empty()) return;
    ++s;
  }
  slots_[static_cast<std::size_t>(kSlots - 1)] = EmptyRecord();
}

void ServerTable::Clear() {
  std::lock_guard lock(mutex_);
  slots_.fill(EmptyRecord());
  ++changes_;
}

ServerAddressParts SplitServerAddress(TextView address) {
  Text text(address);
  std::replace(text.begin(), text.end(), u'\\', u'/');
  ServerAddressParts parts;
  const std::size_t slash = text.find(u'/');
  if (slash == Text::npos) {
    parts.host = text;
    return parts;
  }
  parts.host = text.substr(0, slash);
  parts.folderPath = text.substr(slash + 1);
  if (parts.folderPath == u"/") parts.folderPath.clear();
  if (!parts.folderPath.empty() && parts.folderPath.back() != u'/') parts.folderPath += u'/';
  return parts;
}

}  // namespace wexmoor
