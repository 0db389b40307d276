// The cost of keeping the queue on disk while it drains: a full queue of
// ENTRIES entries is emptied at RATE entries per second (as a fast worker
// would) while the autosave thread writes the preference file. Figures: the
// saving thread's processor time as a share of one core over the drain, the
// number of saves, and the longest time between two saves.
#include <algorithm>
#include <thread>

#include "bench_commands.h"
#include "bench_support.h"
#include "settings/settings_autosave.h"

namespace wexmoor::bench {

int RunAutosaveDrain(const Arguments& args) {
  const Text file = Path(args[0]);
  const int entries = std::stoi(args[1]);
  const int rate = std::stoi(args[2]);
  ServerTable servers;
  ServerRecord record;
  record.name = u"bench";
  record.address = u"127.0.0.1/upload";
  servers.Set(1, record);
  GlobalOptions options;
  UploadQueue queue;
  DeliveryBook delivery;
  for (int i = 0; i < entries; ++i) {
    const std::string sub = "sub" + std::to_string(i % 80);
    const auto id = queue.Append(Path("/home/user/pictures/" + sub + "/picture_" + std::to_string(100000 + i) +
                                      ".jpg|bench|pictures/" + sub));
    if (i % 100 == 0) delivery.SetPart(*id, PartRecord{1 << 20, 1765000000});
  }
  SystemClock clock;
  SettingsAutosave saver(AutosaveSources{file, false, servers, queue, delivery, clock}, options);
  saver.Start();
  Stopwatch wall;
  double longestGap = 0, lastSave = 0;
  std::uint64_t saves = 0;
  const auto period = std::chrono::nanoseconds(1'000'000'000 / rate);
  auto next = std::chrono::steady_clock::now();
  while (queue.Size() > 0) {
    const auto id = queue.At(0)->id;
    queue.RemoveById(id);
    delivery.Forget(id);
    next += period;
    std::this_thread::sleep_until(next);
    if (saver.Saves() != saves) {
      saves = saver.Saves();
      longestGap = std::max(longestGap, wall.Seconds() - lastSave);
      lastSave = wall.Seconds();
    }
  }
  const double seconds = wall.Seconds();
  // The last change reaches the disk too.
  while (saver.Saves() == saves && wall.Seconds() < seconds + 5) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  saver.Stop();
  PrintFigure("drain", seconds, "s");
  PrintFigure("saves", static_cast<double>(saver.Saves()), "saves");
  PrintFigure("save-cpu-share", static_cast<double>(saver.TotalSaveCpuUs()) / 1e6 / seconds * 100.0, "% of a core");
  PrintFigure("longest-gap", longestGap, "s");
  PrintFigure("last-save-after-drain", wall.Seconds() - seconds, "s");
  return 0;
}

}  // namespace wexmoor::bench
