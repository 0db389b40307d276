// The binding of the zip and unzip functions. The thirteen entry points are
// held as function pointers while the binding has users; packing on the
// window's thread and extraction on the update thread each count as a user,
// so one side's release never takes the functions away from the other.
// Tests can make binding fail, which exercises every caller's failure path.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

namespace wexmoor {

struct ZipEntryPoints;  // zip_entry_points.h

class ZipLibrary {
 public:
  ZipLibrary();
  ~ZipLibrary();
  ZipLibrary(const ZipLibrary&) = delete;
  ZipLibrary& operator=(const ZipLibrary&) = delete;

  // Binds the entry points (or keeps the binding of a user still at work)
  // and counts one more user. 1, or 0 when the library cannot be bound.
  int LoadZipLibrary();
  // Counts one user less; the entry points go when the last user leaves.
  // 1, or 0 when nothing was bound.
  int ReleaseZipLibrary();
  // While set, LoadZipLibrary fails.
  void SetFailBinding(bool fail);

  bool Bound() const;
  int Users() const;
  // A copy of the bound entry points; false when nothing is bound.
  bool EntryPoints(ZipEntryPoints& out) const;

 private:
  mutable std::mutex mutex_;
  std::unique_ptr<ZipEntryPoints> bound_;
  int users_ = 0;
  std::atomic<bool> failBinding_{false};
};

// Holds one user of the library for a scope; ok() tells whether binding
// worked.
class ZipLibraryUse {
 public:
  explicit ZipLibraryUse(ZipLibrary& library) : library_(library), ok_(library.LoadZipLibrary() == 1) {}
  ~ZipLibraryUse() {
    if (ok_) library_.ReleaseZipLibrary();
  }
  ZipLibraryUse(const ZipLibraryUse&) = delete;
  ZipLibraryUse& operator=(const ZipLibraryUse&) = delete;
  bool ok() const { return ok_; }

 private:
  ZipLibrary& library_;
  bool ok_;
};

}  // namespace wexmoor
