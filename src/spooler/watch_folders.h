// Watch folders: every new or changed file in a watched folder tree is queued
// for upload once, complete, without a click.
//
// A file is queued only when it was closed after writing (or moved in, or
// found by a scan) and its size and modification time then stayed the same
// for 2 s, so a file still being copied in is never sent half. Names beginning
// with "." or ending ".part", ".tmp", ".crdownload" or "~" are passed over, as
// are empty files and names an entry cannot carry ("|", line breaks). The
// file's subfolders are repeated below the remote subfolder. The folder's
// "Sent" subfolder is never watched.
//
// What was sent (server, path, size, modification time) is kept in the sent
// record beside the preference file, so a restart or a rescan sends nothing
// twice; a file changed since is sent once more. With after = 1 the file is
// moved into "Sent" once its upload succeeded (" (2)", " (3)" … when the name
// is taken there), and the move is the record. A failed upload leaves the
// entry queued and the file where it is.
//
// Every folder is scanned whole at the start, after the kernel's event queue
// overflowed and every 60 s. A folder that inotify cannot serve (a network or
// FUSE file system, where it sees nothing of other machines' writes, or the
// user's watches used up) is scanned every 5 s instead; the same settling
// rule holds. A folder that cannot be read is said once and looked at again
// at each rescan. One thread does all of it; the upload worker's
// outcomes reach it through a mailbox and it never waits for the worker.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/folder_watch.h"
#include "spooler/sent_record.h"
#include "spooler/upload_outcomes.h"
#include "model/upload_queue.h"
#include "model/global_options.h"
#include "model/ui_message_ring.h"

namespace wexmoor {

struct WatchContext {
  UploadQueue& queue;
  // Each queued entry also goes here, so a window lists it.
  UiMessageRing& addRing;
  const Clock& clock;
  // The sent record's file.
  Text recordFile;
  // One line for each thing worth telling (a folder that cannot be read, a
  // file that cannot be moved); may be empty.
  std::function<void(const std::string&)> log;
  // Whether a server of that name exists now; empty: every one does. The
  // files of a folder whose server does not exist wait, unsent and not
  // recorded, until it does.
  std::function<bool(const Text& server)> serverExists;
};

// True for file names a watch folder passes over.
bool SkippedWatchName(std::string_view name);

// The first free path for `name` in `folder`: the name itself, else
// "name (2).ext", "name (3).ext" …
std::string FreeNameIn(const std::string& folder, const std::string& name);

class WatchFolders final : public UploadOutcomes {
 public:
  static constexpr std::int64_t kSettleMs = 2000;
  static constexpr std::int64_t kRescanMs = 60000;
  // Sent-record writes are gathered for this long.
  static constexpr std::int64_t kSaveDelayMs = 500;
  // After the record could not be saved, the next try.
  static constexpr std::int64_t kSaveRetryMs = 10000;
  // Folders inotify cannot serve are scanned this often.
  static constexpr std::int64_t kPollMs = 5000;

  WatchFolders(WatchContext context, std::vector<WatchFolderSetting> folders);
  ~WatchFolders() override;
  WatchFolders(const WatchFolders&) = delete;
  WatchFolders& operator=(const WatchFolders&) = delete;

  // The thread: Begin, Step until stopped, Finish. Stop returns within a
  // fraction of a second (a scan in progress ends at its next folder).
  void Start();
  void Stop();

  // The thread's steps, one at a time (tests call them directly).
  // Reads the sent record, takes over the queue's entries for watched files
  // (queued by an earlier run), watches every folder and scans it.
  void Begin(std::stop_token stop = {});
  // Waits up to `maxWaitMs` for file events (less when something falls due),
  // takes them and the upload outcomes in, queues every file that settled,
  // rescans when due and saves the record when it changed.
  void Step(int maxWaitMs, std::stop_token stop = {});
  // Saves the record.
  void Finish();

  void EntryFinished(std::uint64_t id, const Text& entryText, UploadResult result) override;

  // Files seen but not yet queued, and entries queued and not yet finished.
  std::size_t Waiting() const { return candidates_.size(); }
  std::size_t InFlight() const { return flights_.size(); }

 private:
  struct Root {
    WatchFolderSetting setting;
    std::string folder;   // native, without a trailing "/"
    std::string sent;     // folder + "/Sent"
    std::string server;   // UTF-8, the record's key
    bool watched = false;
    // Scanned every kPollMs: inotify cannot serve it.
    bool polled = false;
    // Said once each, until it changes.
    bool unreadableSaid = false;
    bool noServerSaid = false;
  };
  using Key = std::pair<int, std::string>;  // root index, native path
  struct Candidate {
    FileStamp stamp;
    std::int64_t since = 0;  // monotonic ms of the last change seen
    bool open = false;       // written to and not closed since
  };
  struct Flight {
    int root = 0;
    std::string path;
    FileStamp stamp;
    int missing = 0;  // rescans that found the entry gone without an outcome
  };

  std::vector<int> RootsOf(const std::string& path) const;
  bool SkipFolder(const std::string& path) const;
  void Handle(const FolderEvent& event);
  void Consider(int root, const std::string& path, bool changedNow);
  void ScanTree(int root, const std::string& folder, std::set<std::string>* seen, std::stop_token stop);
  void FullScan(std::stop_token stop);
  void WatchRoots();
  void QueueSettled();
  bool QueueFile(int root, const std::string& path, const FileStamp& stamp);
  void ApplyOutcomes();
  void Landed(const Flight& flight);
  void CheckFlights();
  void SaveRecord(bool force);
  void WatchRoot(Root& root);
  void PollRoots(std::stop_token stop);
  bool ServerExists(Root& root);
  void Log(const std::string& line) const;

  WatchContext context_;
  std::vector<Root> roots_;
  std::unique_ptr<FolderWatch> watch_;
  SentRecord record_;
  std::map<Key, Candidate> candidates_;
  std::map<std::uint64_t, Flight> flights_;
  std::set<Key> flying_;
  std::int64_t nextRescan_ = 0;
  std::int64_t lastSave_ = 0;
  std::int64_t nextPoll_ = 0;
  std::string recordError_;
  int ringHint_ = 0;

  std::mutex inboxMutex_;
  std::vector<std::pair<std::uint64_t, UploadResult>> inbox_;

  std::jthread thread_;
};

}  // namespace wexmoor
