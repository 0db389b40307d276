// wexmoor-bench COMMAND ARGS...: one measured run of one benchmark.
#include <cstdio>
#include <cstring>

#include "bench_commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(const wexmoor::bench::Arguments&);
  std::size_t argumentCount;
};

constexpr Command kCommands[] = {
    {"upload-file", wexmoor::bench::RunUploadFile, 7},
    // The same with a protocol number and a trusted fingerprint (FTP over TLS).
    {"upload-file-tls", wexmoor::bench::RunUploadFile, 9},
    {"upload-drop", wexmoor::bench::RunUploadDrop, 6},
    {"upload-drop-tls", wexmoor::bench::RunUploadDrop, 8},
    {"upload-limited", wexmoor::bench::RunUploadLimited, 10},
    {"make-settings", wexmoor::bench::RunMakeSettings, 2},
    {"settings", wexmoor::bench::RunSettings, 2},
    {"autosave-drain", wexmoor::bench::RunAutosaveDrain, 3},
    {"intake", wexmoor::bench::RunIntake, 1},
    {"pack", wexmoor::bench::RunPack, 1},
    {"memory-idle", wexmoor::bench::RunMemoryIdle, 0},
    {"memory-listed", wexmoor::bench::RunMemoryListed, 1},
    {"hostile-greeting", wexmoor::bench::RunHostileGreeting, 2},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2) {
    for (const auto& command : kCommands) {
      if (std::strcmp(argv[1], command.name) != 0) continue;
      wexmoor::bench::Arguments args(argv + 2, argv + argc);
      if (args.size() != command.argumentCount) break;
      return command.run(args);
    }
  }
  std::fprintf(stderr, "usage: wexmoor-bench COMMAND ARGS (see bench/bench_commands.h)\n");
  return 2;
}
