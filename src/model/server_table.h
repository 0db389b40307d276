// The configured FTP servers: 51 slots, slot 0 never used, the first empty name
// ends the list. Shared by the window's thread and the upload worker; every
// access is one short step under the table's own mutex.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/text.h"

namespace wexmoor {

struct ServerRecord {
  Text name;
  Text address;
  Text login;
  Text password;
  std::int32_t port = 21;
  std::int32_t active = 0;
  std::int32_t ipRouter = 0;
  std::int32_t useUtf8 = 0;
  std::int32_t useUtf8Opt = 0;
  std::int32_t timeOut = 0;
};

class ServerTable {
 public:
  static constexpr int kSlots = 51;
  static constexpr int kMaxServers = 50;

  ServerTable();

  // A copy of slot `slot` (an empty record outside 1..50).
  ServerRecord Get(int slot) const;
  // Replaces slot `slot` (ignored outside 1..50).
  void Set(int slot, const ServerRecord& record);
  // Scan from slot 1 while the slot's name is neither empty nor `name`;
  // returns the slot where the scan stopped (51 after a full table).
  int FindServer(TextView name) const;
  // Number of configured servers (slots before the first empty name).
  int Count() const;
  // Names of slots 1, 2, ... up to the first empty name.
  std::vector<Text> Names() const;
  // Moves every record after `slot` down by one slot, until an empty name
  // has been copied.
  void DeleteServer(int slot);
  // Empties every slot.
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::array<ServerRecord, kSlots> slots_;
};

}  // namespace wexmoor
