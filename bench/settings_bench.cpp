// The preference file with a full queue: writing it from the model and
// reading it back.
#include <random>

#include "bench_commands.h"
#include "bench_support.h"
#include "settings/settings_store.h"

namespace wexmoor::bench {
namespace {

void OneServer(ServerTable& servers) {
  ServerRecord record;
  record.name = u"bench";
  record.address = u"127.0.0.1/upload";
  record.login = u"user";
  record.password = u"secret";
  servers.Set(1, record);
}

}  // namespace

int RunMakeSettings(const Arguments& args) {
  int entries = std::stoi(args[1]);
  ServerTable servers;
  OneServer(servers);
  GlobalOptions options;
  options.currentServer = u"bench";
  UploadQueue queue;
  for (int i = 0; i < entries; ++i) {
    std::string sub = "sub" + std::to_string(i % 80);
    queue.Append(Path("/home/user/pictures/" + sub + "/picture_" + std::to_string(100000 + i) +
                      ".jpg|bench|pictures/" + sub));
  }
  std::mt19937 random(1);
  std::string error;
  if (!SaveSettings(Path(args[0]), false, servers, options, queue, std::nullopt, random, &error)) {
    std::fprintf(stderr, "make-settings: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

// Loads the file, then saves the loaded model to a second file beside it.
int RunSettings(const Arguments& args) {
  int runs = std::stoi(args[1]);
  Text file = Path(args[0]);
  Text copy = file + u".saved";
  for (int run = 0; run < runs; ++run) {
    ServerTable servers;
    GlobalOptions options;
    UploadQueue queue;
    UiMessageRing addRing;
    Stopwatch load;
    LoadSettings(file, false, servers, options, queue, addRing);
    double loadSeconds = load.Seconds();
    if (queue.Size() == 0) {
      std::fprintf(stderr, "settings: nothing loaded\n");
      return 1;
    }
    std::mt19937 random(static_cast<unsigned>(run));
    Stopwatch save;
    bool saved = SaveSettings(copy, false, servers, options, queue, std::nullopt, random);
    double saveSeconds = save.Seconds();
    if (!saved) {
      std::fprintf(stderr, "settings: save failed\n");
      return 1;
    }
    PrintFigure("load", loadSeconds, "s");
    PrintFigure("save", saveSeconds, "s");
    PrintFigure("entries", queue.Size(), "entries");
  }
  return 0;
}

}  // namespace wexmoor::bench
