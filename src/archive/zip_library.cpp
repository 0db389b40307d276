#include "archive/zip_library.h"

#include "archive/zip_entry_points.h"

namespace wexmoor {

namespace {
// minizip is linked in; its functions stand in this constant table under the
// names the binding uses.
constexpr ZipEntryPoints kLinked{
    &::unzOpen,          &::unzGetGlobalInfo,    &::unzGoToFirstFile,    &::unzGoToNextFile,
    &::unzGetCurrentFileInfo, &::unzReadCurrentFile, &::unzOpenCurrentFile, &::unzClose,
    &::zipOpen,          &::zipOpenNewFileInZip, &::zipWriteInFileInZip, &::zipCloseFileInZip,
    &::zipClose,
};
}  // namespace

const ZipEntryPoints& LinkedZipEntryPoints() { return kLinked; }

ZipLibrary::ZipLibrary() = default;
ZipLibrary::~ZipLibrary() = default;

int ZipLibrary::LoadZipLibrary() {
  if (failBinding_.load()) return 0;
  std::lock_guard lock(mutex_);
  // A user still at work keeps the binding it has; only a first user binds
  // afresh.
  if (!bound_) bound_ = std::make_unique<ZipEntryPoints>(LinkedZipEntryPoints());
  ++users_;
  return 1;
}

int ZipLibrary::ReleaseZipLibrary() {
  std::lock_guard lock(mutex_);
  if (users_ == 0) return 0;
  if (--users_ == 0) bound_.reset();
  return 1;
}

void ZipLibrary::SetFailBinding(bool fail) { failBinding_.store(fail); }

bool ZipLibrary::Bound() const {
  std::lock_guard lock(mutex_);
  return bound_ != nullptr;
}

int ZipLibrary::Users() const {
  std::lock_guard lock(mutex_);
  return users_;
}

bool ZipLibrary::EntryPoints(ZipEntryPoints& out) const {
  std::lock_guard lock(mutex_);
  if (!bound_) return false;
  out = *bound_;
  return true;
}

}  // namespace wexmoor
