// Size arithmetic for fitting a picture into a box, keeping its proportions.
#pragma once

namespace wexmoor {

struct PictureSize {
  int width = 0;
  int height = 0;
  bool operator==(const PictureSize&) const = default;
};

// Shrinks (width, height) to fit maxWidth x maxHeight: first to the height, then to
// the width, with integer arithmetic (results truncated). `changed` tells
// whether either step shrank the size. Never grows a picture; a size that
// would drop to 0 stays at least 1 pixel.
struct FittedSize {
  PictureSize size;
  bool changed = false;
};
FittedSize FitPicture(int width, int height, int maxWidth, int maxHeight);

}  // namespace wexmoor
