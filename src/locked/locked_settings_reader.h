// Start-up's view of the settings block: ReadLockedSettings.
#pragma once

#include "locked/locked_settings_block.h"
