// Whether uploads may start: the whole queue, or one server's entries, can be
// paused by the user. The scheduler reads it on every pass (running uploads
// of a paused server stop and keep their parts); the settings store keeps it
// ("QueuePaused", "ServerPaused<n>"). Like the queue, it is the program's:
// an edit of the preference file does not change it while the program runs.
// One mutex, held for one read or change.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>

#include "platform/text.h"

namespace wexmoor {

class QueuePause {
 public:
  bool All() const {
    std::lock_guard lock(mutex_);
    return all_;
  }
  // The server is paused by itself (whatever the whole queue does).
  bool Server(const Text& name) const {
    std::lock_guard lock(mutex_);
    return servers_.contains(name);
  }
  // Nothing of this server may start now.
  bool Holds(const Text& server) const {
    std::lock_guard lock(mutex_);
    return all_ || servers_.contains(server);
  }
  std::set<Text> Servers() const {
    std::lock_guard lock(mutex_);
    return servers_;
  }
  void SetAll(bool paused) {
    std::lock_guard lock(mutex_);
    if (all_ == paused) return;
    all_ = paused;
    ++changes_;
  }
  void SetServer(const Text& name, bool paused) {
    std::lock_guard lock(mutex_);
    if (servers_.contains(name) == paused) return;
    if (paused) servers_.insert(name);
    else servers_.erase(name);
    ++changes_;
  }
  // Nothing paused any more: the queue and every server.
  void ResumeAll() {
    std::lock_guard lock(mutex_);
    if (!all_ && servers_.empty()) return;
    all_ = false;
    servers_.clear();
    ++changes_;
  }
  // Grows with every change; read without the lock.
  std::uint64_t Changes() const { return changes_.load(); }

 private:
  mutable std::mutex mutex_;
  bool all_ = false;
  std::set<Text> servers_;
  std::atomic<std::uint64_t> changes_{0};
};

}  // namespace wexmoor
