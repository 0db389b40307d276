#include "program/log_follow.h"

#include <algorithm>

namespace wexmoor {

Text FollowLog(const Text& shown, std::size_t previousLogLength, const Text& newLog) {
  const std::size_t keep = shown.size() - std::min(previousLogLength, shown.size());
  return shown.substr(0, keep) + newLog;
}

}  // namespace wexmoor
