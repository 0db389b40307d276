#include "spooler/watch_folders.h"

#include <algorithm>
#include <cerrno>

#include "platform/files.h"

namespace wexmoor {

namespace {

bool EndsWith(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  std::string_view tail = text.substr(text.size() - suffix.size());
  return std::equal(tail.begin(), tail.end(), suffix.begin(), [](char a, char b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(a) == lower(b);
  });
}

std::string NameOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string NativeFolder(const Text& folder) {
  std::string native = PathToNative(folder);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  return native;
}

FileStamp StampOf(const NativeStat& st) { return FileStamp{st.size, st.mtimeNs}; }

}  // namespace

bool SkippedWatchName(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.back() == '~') return true;
  if (EndsWith(name, ".part") || EndsWith(name, ".tmp") || EndsWith(name, ".crdownload")) return true;
  // An entry text cannot carry these.
  return name.find_first_of("|\r\n") != std::string_view::npos;
}

std::string FreeNameIn(const std::string& folder, const std::string& name) {
  std::string candidate = folder + "/" + name;
  if (!StatNative(candidate)) return candidate;
  std::size_t dot = name.rfind('.');
  if (dot == 0 || dot == std::string::npos) dot = name.size();
  const std::string stem = name.substr(0, dot), extension = name.substr(dot);
  for (int n = 2;; ++n) {
    candidate = folder + "/" + stem + " (" + std::to_string(n) + ")" + extension;
    if (!StatNative(candidate)) return candidate;
  }
}

WatchFolders::WatchFolders(WatchContext context, std::vector<WatchFolderSetting> folders)
    : context_(std::move(context)) {
  for (WatchFolderSetting& setting : folders) {
    if (setting.folder.empty() || setting.server.empty()) continue;
    Root root;
    root.folder = NativeFolder(setting.folder);
    root.sent = root.folder + "/Sent";
    root.server = PathToNative(setting.server);
    root.setting = std::move(setting);
    roots_.push_back(std::move(root));
  }
}

WatchFolders::~WatchFolders() { Stop(); }

void WatchFolders::Start() {
  if (thread_.joinable()) return;
  thread_ = std::jthread([this](std::stop_token stop) {
    Begin(stop);
    while (!stop.stop_requested()) Step(500, stop);
    Finish();
  });
}

void WatchFolders::Stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
}

void WatchFolders::Log(const std::string& line) const {
  if (context_.log) context_.log(line);
}

std::vector<int> WatchFolders::RootsOf(const std::string& path) const {
  std::vector<int> out;
  for (std::size_t r = 0; r < roots_.size(); ++r) {
    const Root& root = roots_[r];
    if (path.size() > root.folder.size() + 1 && path.compare(0, root.folder.size(), root.folder) == 0 &&
        path[root.folder.size()] == '/' &&
        !(path.compare(0, root.sent.size(), root.sent) == 0 &&
          (path.size() == root.sent.size() || path[root.sent.size()] == '/')))
      out.push_back(static_cast<int>(r));
  }
  return out;
}

bool WatchFolders::SkipFolder(const std::string& path) const {
  if (NameOf(path).starts_with('.')) return true;
  for (const Root& root : roots_)
    if (path == root.sent) return true;
  return false;
}

void WatchFolders::Begin(std::stop_token stop) {
  record_.Load(context_.recordFile);
  lastSave_ = context_.clock.MonotonicMs();
  // Entries an earlier run queued for watched files are ours again, so a
  // scan does not queue them twice and a success still moves or records them.
  const int size = context_.queue.Size();
  for (int i = 0; i < size; ++i) {
    std::optional<QueueEntry> entry = context_.queue.At(i);
    if (!entry) break;
    const std::string path = PathToNative(EntryLocalPath(entry->text));
    const Text server = EntryServerName(entry->text);
    for (int r : RootsOf(path)) {
      if (roots_[r].setting.server != server) continue;
      std::optional<NativeStat> st = StatNative(path);
      Flight flight{r, path, st ? StampOf(*st) : FileStamp{}, 0};
      flying_.insert({r, path});
      flights_.emplace(entry->id, std::move(flight));
      break;
    }
  }
  watch_ = std::make_unique<FolderWatch>([this](const std::string& path) { return SkipFolder(path); });
  WatchRoots();
  FullScan(stop);
  nextRescan_ = context_.clock.MonotonicMs() + kRescanMs;
}

void WatchFolders::WatchRoots() {
  for (Root& root : roots_) WatchRoot(root);
}

void WatchFolders::WatchRoot(Root& root) {
  if (root.watched || root.polled) return;
  if (const std::string fs = UnwatchableFileSystem(root.folder); !fs.empty()) {
    root.polled = true;
    Log("Watch folder " + root.folder + " is on a " + fs + " file system, where inotify sees no changes: polling it every " +
        std::to_string(kPollMs / 1000) + " s");
    return;
  }
  root.watched = watch_->AddTree(root.folder);
  if (watch_->LimitReached()) {
    root.polled = true;
    Log("Watch folder " + root.folder +
        " cannot be watched whole: inotify's watch limit is reached (fs.inotify.max_user_watches); polling it every " +
        std::to_string(kPollMs / 1000) + " s");
  }
}

void WatchFolders::PollRoots(std::stop_token stop) {
  for (std::size_t r = 0; r < roots_.size() && !stop.stop_requested(); ++r)
    if (roots_[r].polled && !roots_[r].unreadableSaid) ScanTree(static_cast<int>(r), roots_[r].folder, nullptr, stop);
}

bool WatchFolders::ServerExists(Root& root) {
  const bool exists = !context_.serverExists || context_.serverExists(root.setting.server);
  if (!exists && !root.noServerSaid)
    Log("Watch folder " + root.folder + ": no server named \"" + PathToNative(root.setting.server) +
        "\"; its files wait until there is one");
  root.noServerSaid = !exists;
  return exists;
}

void WatchFolders::Step(int maxWaitMs, std::stop_token stop) {
  if (!watch_) return;
  const std::int64_t now = context_.clock.MonotonicMs();
  std::int64_t wait = std::min<std::int64_t>(maxWaitMs, nextRescan_ - now);
  for (const auto& [key, candidate] : candidates_) {
    if (!candidate.open) wait = std::min(wait, candidate.since + kSettleMs - now);
  }
  if (record_.Dirty()) wait = std::min(wait, lastSave_ + (recordError_.empty() ? kSaveDelayMs : kSaveRetryMs) - now);
  const bool polling = std::any_of(roots_.begin(), roots_.end(), [](const Root& r) { return r.polled; });
  if (polling) wait = std::min(wait, nextPoll_ - now);
  for (const FolderEvent& event : watch_->Wait(static_cast<int>(std::max<std::int64_t>(wait, 0)), stop))
    Handle(event);
  ApplyOutcomes();
  if (polling && context_.clock.MonotonicMs() >= nextPoll_) {
    PollRoots(stop);
    nextPoll_ = context_.clock.MonotonicMs() + kPollMs;
  }
  QueueSettled();
  if (context_.clock.MonotonicMs() >= nextRescan_) {
    FullScan(stop);
    CheckFlights();
    nextRescan_ = context_.clock.MonotonicMs() + kRescanMs;
  }
  SaveRecord(false);
}

void WatchFolders::Finish() {
  ApplyOutcomes();
  SaveRecord(true);
}

void WatchFolders::Handle(const FolderEvent& event) {
  using Kind = FolderEvent::Kind;
  switch (event.kind) {
    case Kind::kOverflow:
      // Whatever was lost, the scan finds; a close that was lost must not
      // hold a file back for ever, so the settling time decides alone.
      for (auto& [key, candidate] : candidates_) candidate.open = false;
      for (Root& root : roots_) root.watched = false;
      WatchRoots();
      FullScan({});
      break;
    case Kind::kFolderAdded:
      // Files made before the folder's watch existed have no events.
      for (int r : RootsOf(event.path)) ScanTree(r, event.path, nullptr, {});
      break;
    case Kind::kWritten:
      for (int r : RootsOf(event.path)) {
        if (SkippedWatchName(NameOf(event.path))) continue;
        Candidate& candidate = candidates_[{r, event.path}];
        candidate.open = true;
        candidate.since = context_.clock.MonotonicMs();
      }
      break;
    case Kind::kClosed:
    case Kind::kMovedIn:
      for (int r : RootsOf(event.path)) Consider(r, event.path, true);
      break;
  }
}

void WatchFolders::Consider(int root, const std::string& path, bool changedNow) {
  const Key key{root, path};
  if (SkippedWatchName(NameOf(path))) return;
  std::optional<NativeStat> st = StatNative(path);
  if (!st || !st->regular || st->size <= 0) {
    candidates_.erase(key);
    return;
  }
  const FileStamp stamp = StampOf(*st);
  if (record_.Contains({roots_[root].server, path}, stamp)) {
    candidates_.erase(key);
    return;
  }
  const std::int64_t now = context_.clock.MonotonicMs();
  auto [it, added] = candidates_.try_emplace(key, Candidate{stamp, now, false});
  if (!added && it->second.stamp.size < 0) it->second.stamp = stamp;  // first look after a write event
  Candidate& candidate = it->second;
  if (changedNow) {
    candidate.open = false;
    candidate.stamp = stamp;
    candidate.since = now;
  } else if (!added && candidate.stamp != stamp) {
    candidate.stamp = stamp;
    candidate.since = now;
  } else if (candidate.open && now - candidate.since >= kRescanMs) {
    // Written to and not closed for a minute: made without a close (a link)
    // or its close was lost. The settling time decides from here.
    candidate.open = false;
  }
}

void WatchFolders::ScanTree(int root, const std::string& folder, std::set<std::string>* seen,
                            std::stop_token stop) {
  std::vector<std::string> pending{folder};
  while (!pending.empty() && !stop.stop_requested()) {
    const std::string current = std::move(pending.back());
    pending.pop_back();
    std::vector<std::pair<std::string, bool>> entries;
    if (!ListNative(current, entries)) continue;
    for (const auto& [name, isFolder] : entries) {
      std::string path = current + "/" + name;
      if (isFolder) {
        if (!SkipFolder(path)) pending.push_back(std::move(path));
        continue;
      }
      if (seen) seen->insert(path);
      Consider(root, path, false);
    }
  }
}

void WatchFolders::FullScan(std::stop_token stop) {
  for (std::size_t r = 0; r < roots_.size() && !stop.stop_requested(); ++r) {
    Root& root = roots_[r];
    std::optional<NativeStat> st = StatNative(root.folder);
    std::vector<std::pair<std::string, bool>> probe;
    if (!st || !st->folder || !ListNative(root.folder, probe)) {
      // Said once; looked at again at each rescan.
      if (!root.unreadableSaid)
        Log("Watch folder " + root.folder + " cannot be read" + (st && st->folder ? "" : " (it does not exist)") +
            "; looked at again every " + std::to_string(kRescanMs / 1000) + " s");
      root.unreadableSaid = true;
      root.watched = false;
      continue;
    }
    if (root.unreadableSaid) Log("Watch folder " + root.folder + " can be read again");
    root.unreadableSaid = false;
    WatchRoot(root);
    std::set<std::string> seen;
    ScanTree(static_cast<int>(r), root.folder, &seen, stop);
    if (stop.stop_requested()) return;
    // Files that are gone need no record; a file of that name later is new.
    std::vector<SentRecord::Key> gone;
    for (const auto& [key, stamp] : record_.Entries()) {
      if (key.first == root.server && RootsOf(key.second) == std::vector<int>{static_cast<int>(r)} &&
          !seen.contains(key.second))
        gone.push_back(key);
    }
    for (const auto& key : gone) record_.Erase(key);
    // Nor does a file that was written to and then removed.
    std::erase_if(candidates_, [&](const auto& item) {
      return item.first.first == static_cast<int>(r) && !seen.contains(item.first.second);
    });
  }
}

void WatchFolders::QueueSettled() {
  const std::int64_t now = context_.clock.MonotonicMs();
  for (auto it = candidates_.begin(); it != candidates_.end();) {
    Candidate& candidate = it->second;
    if (candidate.open || now - candidate.since < kSettleMs || flying_.contains(it->first)) {
      ++it;
      continue;
    }
    const auto& [root, path] = it->first;
    std::optional<NativeStat> st = StatNative(path);
    if (!st || !st->regular || st->size <= 0) {
      it = candidates_.erase(it);
      continue;
    }
    const FileStamp stamp = StampOf(*st);
    if (stamp != candidate.stamp) {  // still changing
      candidate.stamp = stamp;
      candidate.since = now;
      ++it;
      continue;
    }
    if (record_.Contains({roots_[root].server, path}, stamp)) {
      it = candidates_.erase(it);
      continue;
    }
    // Its server does not exist (yet): the file waits, looked at again later.
    if (!ServerExists(roots_[root])) {
      candidate.since = now;
      ++it;
      continue;
    }
    // Found by a scan while still being written (its events came before its
    // folder was watched, or were lost): wait for the close.
    if (OpenForWriting(path)) {
      candidate.since = now;
      ++it;
      continue;
    }
    if (!QueueFile(root, path, stamp)) {  // the queue is full: later
      candidate.since = now;
      ++it;
      continue;
    }
    it = candidates_.erase(it);
  }
}

bool WatchFolders::QueueFile(int rootIndex, const std::string& path, const FileStamp& stamp) {
  const Root& root = roots_[rootIndex];
  // The file's own subfolders below the watched folder, repeated remotely.
  std::string relative = path.substr(root.folder.size() + 1);
  std::size_t slash = relative.rfind('/');
  Text remote = root.setting.subfolder;
  while (!remote.empty() && remote.back() == u'/') remote.pop_back();
  if (slash != std::string::npos) {
    if (!remote.empty()) remote += u'/';
    remote += NativeToPath(relative.substr(0, slash));
  }
  const Text text = NativeToPath(path) + u"|" + root.setting.server + u"|" + remote;
  // An arrival does not end a server's wait: only the user's own actions do.
  std::optional<std::uint64_t> id = context_.queue.Append(text, false);
  if (!id) return false;
  int slot = context_.addRing.Put(text, ringHint_);
  ringHint_ = slot >= 0 ? slot + 1 : 0;
  flying_.insert({rootIndex, path});
  flights_.emplace(*id, Flight{rootIndex, path, stamp, 0});
  return true;
}

void WatchFolders::EntryFinished(std::uint64_t id, const Text&, UploadResult result) {
  std::lock_guard lock(inboxMutex_);
  inbox_.emplace_back(id, result);
}

void WatchFolders::ApplyOutcomes() {
  std::vector<std::pair<std::uint64_t, UploadResult>> inbox;
  {
    std::lock_guard lock(inboxMutex_);
    inbox.swap(inbox_);
  }
  for (const auto& [id, result] : inbox) {
    auto it = flights_.find(id);
    if (it == flights_.end() || result == UploadResult::kFailed) continue;  // a failed entry stays queued
    if (result == UploadResult::kSent) {
      Landed(it->second);
    } else {
      // Dropped unsent (its server is gone): not recorded, so the file waits
      // for the server and goes once there is one.
      candidates_.insert_or_assign({it->second.root, it->second.path},
                                   Candidate{it->second.stamp, context_.clock.MonotonicMs(), false});
    }
    flying_.erase({it->second.root, it->second.path});
    flights_.erase(it);
  }
}

void WatchFolders::Landed(const Flight& flight) {
  const Root& root = roots_[flight.root];
  if (root.setting.after != 1) {
    record_.Put({root.server, flight.path}, flight.stamp);
    return;
  }
  // A file written to since it was queued is not the one the server holds:
  // it stays, and is queued again once it is stable.
  if (const std::optional<NativeStat> now = StatNative(flight.path); now && StampOf(*now) != flight.stamp) {
    Log("Sent file " + flight.path + " changed since its upload: not moved");
    return;
  }
  const std::string relative = flight.path.substr(root.folder.size() + 1);
  const std::size_t slash = relative.rfind('/');
  const std::string folder = slash == std::string::npos ? root.sent : root.sent + "/" + relative.substr(0, slash);
  const std::string name = NameOf(flight.path);
  bool moved = false;
  if (MakeFolders(NativeToPath(folder))) {
    // A name taken meanwhile by someone else is never replaced.
    for (int attempt = 0; attempt < 100 && !moved; ++attempt) {
      moved = RenameNoReplace(flight.path, FreeNameIn(folder, name));
      if (!moved && errno != EEXIST) break;
    }
  }
  if (!moved && StatNative(flight.path)) {
    Log("Sent file " + flight.path + " cannot be moved into " + folder);
    record_.Put({root.server, flight.path}, flight.stamp);
  }
}

void WatchFolders::CheckFlights() {
  // An entry gone from the queue without an outcome was removed by the user.
  // Two rescans in a row, so an outcome on its way is not overtaken.
  const std::vector<std::uint64_t> ids = context_.queue.Ids();
  const std::set<std::uint64_t> queued(ids.begin(), ids.end());
  for (auto it = flights_.begin(); it != flights_.end();) {
    Flight& flight = it->second;
    if (queued.contains(it->first) || ++flight.missing < 2) {
      if (queued.contains(it->first)) flight.missing = 0;
      ++it;
      continue;
    }
    record_.Put({roots_[flight.root].server, flight.path}, flight.stamp);
    flying_.erase({flight.root, flight.path});
    it = flights_.erase(it);
  }
}

void WatchFolders::SaveRecord(bool force) {
  if (!record_.Dirty()) return;
  const std::int64_t now = context_.clock.MonotonicMs();
  if (!force && now - lastSave_ < kSaveDelayMs) return;
  if (!force && !recordError_.empty() && now - lastSave_ < kSaveRetryMs) return;
  lastSave_ = now;
  std::string error;
  if (record_.Save(context_.recordFile, &error)) {
    if (!recordError_.empty()) Log("Sent record saved again");
    recordError_.clear();
    return;
  }
  // Said once for each reason, tried again every kSaveRetryMs.
  if (error != recordError_) Log("Sent record not saved: " + error);
  recordError_ = error;
}

}  // namespace wexmoor
