// Watching folder trees for files that change, on inotify. A tree is watched
// with every folder below it, folders made later included (each new folder is
// reported, so its files made before its watch existed can be looked for).
// The kernel's event queue can overflow; that is reported too, and the caller
// then looks at everything again. Paths are native (UTF-8 bytes).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace wexmoor {

struct FolderEvent {
  enum class Kind {
    kWritten,        // a file was written to (it may still be open)
    kClosed,         // a file open for writing was closed
    kMovedIn,        // a file was moved or renamed into a watched folder
    kFolderAdded,    // a folder appeared (made or moved in); it is watched now
    kOverflow,       // events were lost: look at every tree again
  };
  Kind kind = Kind::kWritten;
  std::string path;  // empty for kOverflow
};

// What a watched tree's files are looked at with (native paths).
struct NativeStat {
  bool regular = false;
  bool folder = false;
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;  // modification time, nanoseconds since the epoch
};
// Follows links; nullopt when nothing is there.
std::optional<NativeStat> StatNative(const std::string& path);
// Names in `folder` with whether each is a folder (links are not followed, so
// a link to a folder counts as a file). False when it cannot be read.
bool ListNative(const std::string& folder, std::vector<std::pair<std::string, bool>>& entries);
// True when some process holds `path` open for writing, as far as can be told:
// a read lease is refused to a file open for writing. For a file the caller
// does not own, or on a file system without leases, this says false.
bool OpenForWriting(const std::string& path);
// Renames without ever replacing: false (errno EEXIST) when `to` exists.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Where inotify sees nothing of what others do: a network file system (NFS,
// CIFS/SMB) or a FUSE mount (sshfs and the like). The file system's name
// ("nfs", "cifs", "smb2", "fuse"), or empty for a local one (or when it
// cannot be told).
std::string UnwatchableFileSystem(const std::string& path);

class FolderWatch {
 public:
  // `skipFolder`, when given, says which folders (full native path) are not
  // watched, nor anything below them.
  explicit FolderWatch(std::function<bool(const std::string&)> skipFolder = {});
  ~FolderWatch();
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  bool ok() const { return fd_ >= 0; }
  // Watches `root` and every folder below it. False when `root` itself cannot
  // be watched; subfolders that cannot be watched are passed over.
  bool AddTree(const std::string& root);
  // Number of folders watched.
  std::size_t WatchedFolders() const { return paths_.size(); }
  // Some folder could not be watched because the user's inotify watches are
  // used up (fs.inotify.max_user_watches).
  bool LimitReached() const { return limitReached_; }

  // Waits up to `timeoutMs` for events, returning at once on a stop request
  // (then with whatever was already read). Empty when nothing happened.
  std::vector<FolderEvent> Wait(int timeoutMs, std::stop_token stop = {});

 private:
  void AddFolder(const std::string& path, int depth);
  void Decode(const char* buffer, std::size_t length, std::vector<FolderEvent>& out);

  std::function<bool(const std::string&)> skipFolder_;
  int fd_ = -1;
  int wakeFd_ = -1;
  std::map<int, std::string> paths_;  // watch descriptor -> folder
  bool limitReached_ = false;
};

}  // namespace wexmoor
