#include "updater/updater.h"

namespace wexmoor::updater {

int RunUpdater(int, char**) { return 0; }

}  // namespace wexmoor::updater
