// Starting a server program unpacked under tests/peers/unpacked/root (the
// fixtures of ProFTPD and pure-ftpd share it): its libraries come from there
// too, and it is waited for until it greets on its port.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace wexmoor::testing {

std::string UnpackedServersRoot();

// Spawns `args` (args[0] below the unpacked root) and waits up to 10 s for
// "220" on `port`. The child's id in `pid` (-1 when it did not start); false
// with `error` when it did not greet.
bool StartUnpackedServer(const std::vector<std::string>& args, int port, pid_t& pid, std::string& error);

// SIGTERM, then waits for it.
void StopUnpackedServer(pid_t& pid);

// Runs a shell command quietly; its exit status.
int RunQuietly(const std::string& command);

}  // namespace wexmoor::testing
