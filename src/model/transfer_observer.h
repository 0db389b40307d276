// What a sending loop tells, and asks, about each block of a file's bytes:
// a bandwidth limit may hold a block back, a hash may want the bytes. The
// FTP, SFTP and WebDAV engines call it; the spooler implements it.
#pragma once

#include <cstddef>

namespace wexmoor {

class TransferObserver {
 public:
  virtual ~TransferObserver() = default;
  // Whether the loop must hand over the bytes themselves (a hash of what was
  // sent is kept): the loop then reads and sends instead of letting the
  // kernel copy.
  virtual bool WantsBytes() const { return false; }
  // Before a block of `size` bytes goes: waits while a limit holds it back
  // (bounded, stop-aware). False: the stop was seen, send nothing more.
  virtual bool BeforeBlock(std::size_t size) {
    (void)size;
    return true;
  }
  // After a block went: its bytes when WantsBytes(), else `data` is null.
  virtual void AfterBlock(const char* data, std::size_t size) {
    (void)data;
    (void)size;
  }
};

}  // namespace wexmoor
