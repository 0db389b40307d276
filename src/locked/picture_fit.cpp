#include "locked/picture_fit.h"

#include <algorithm>
#include <cstdint>

namespace wexmoor {

FittedSize FitPicture(int width, int height, int maxWidth, int maxHeight) {
  // 64-bit products: a decoded picture may be large, and w * H must not wrap.
  std::int64_t w = width;
  std::int64_t h = height;
  bool changed = false;
  if (h > maxHeight && maxHeight > 0) {
    w = std::max<std::int64_t>(1, w * maxHeight / h);
    h = maxHeight;
    changed = true;
  }
  if (w > maxWidth && maxWidth > 0) {
    h = std::max<std::int64_t>(1, h * maxWidth / w);
    w = maxWidth;
    changed = true;
  }
  return {{static_cast<int>(w), static_cast<int>(h)}, changed};
}

}  // namespace wexmoor
