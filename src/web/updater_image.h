// The updater program's bytes, carried inside the main program's executable
// (see app/CMakeLists.txt). Only the program itself links these symbols, so
// call UpdaterImage() from there.
#pragma once

#include <cstddef>
#include <span>

extern "C" const unsigned char wexmoor_updater_image_begin[];
extern "C" const unsigned char wexmoor_updater_image_end[];

namespace wexmoor {

inline std::span<const unsigned char> UpdaterImage() {
  return {wexmoor_updater_image_begin,
          static_cast<std::size_t>(wexmoor_updater_image_end - wexmoor_updater_image_begin)};
}

}  // namespace wexmoor
