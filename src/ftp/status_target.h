// The engine's StatusTarget and ProgressTarget live in the model layer, where
// the SFTP session beside this engine reaches them too.
#pragma once

#include "model/status_target.h"
