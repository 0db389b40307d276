// Ports on 127.0.0.1 for the server fixtures: one free right now, and whether
// a server there answers.
#pragma once

#include <string_view>

namespace wexmoor::testing {

// A port the system gave out just now (free at this moment); 0 on failure.
int FreeLoopbackPort();

// True when a connection to 127.0.0.1:`port` is accepted and, when `greeting`
// is not empty, the server's first bytes are `greeting` within `waitMs`.
bool LoopbackAnswers(int port, std::string_view greeting = {}, int waitMs = 2000);

}  // namespace wexmoor::testing
