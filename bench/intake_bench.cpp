// Drop intake of a large folder (queued, then listed by the main loop) and
// the packing path with the zip box checked.
#include "bench_commands.h"
#include "bench_support.h"
#include "spooler/drop_intake.h"

namespace wexmoor::bench {

int RunIntake(const Arguments& args) {
  UploadQueue queue;
  UiMessageRing addRing, removeRing;
  ServerTable servers;
  ServerRecord record;
  record.name = u"bench";
  record.address = u"127.0.0.1";
  servers.Set(1, record);
  SharedFlags flags;
  ZipLibrary zip;
  Translator translator;
  FixedIntakeUi ui(u"bench", false);
  WrittenArchives written;
  IntakeContext intake{queue, addRing, servers, flags, zip, translator, ui, &written, {}};
  SystemClock clock;
  IdleWorkerControl worker;
  int hideServerList = 0, disableUpdates = 0;
  Text currentServer = u"bench";
  MainWindowPresenterContext loop{queue, servers, addRing, removeRing, flags, clock, worker,
                       [](StatusTarget*) {}, hideServerList, disableUpdates, currentServer, u"", {}};
  ListOnlyView view;
  MainWindowPresenter pass(loop, view);

  Stopwatch queued;
  QueueDroppedItems(intake, Path(args[0]) + u"\r");
  double queuedSeconds = queued.Seconds();
  int entries = queue.Size();
  Stopwatch listed;
  int passes = ListUntil(pass, view, entries, 30);
  double listedSeconds = listed.Seconds();
  if (entries == 0 || view.QueueCount() != entries) {
    std::fprintf(stderr, "intake: %d queued, %d listed\n", entries, view.QueueCount());
    return 1;
  }
  PrintFigure("queued", queuedSeconds, "s");
  PrintFigure("listed_after", listedSeconds, "s");
  PrintFigure("passes", passes, "passes");
  PrintFigure("entries", entries, "entries");
  return 0;
}

int RunPack(const Arguments& args) {
  Text folder = Path(args[0]);
  Text archive = ArchivePathFor(folder);
  std::remove(PathToNative(archive).c_str());
  UploadQueue queue;
  UiMessageRing addRing;
  ServerTable servers;
  ServerRecord record;
  record.name = u"bench";
  servers.Set(1, record);
  SharedFlags flags;
  ZipLibrary zip;
  Translator translator;
  FixedIntakeUi ui(u"bench", true);
  WrittenArchives written;
  IntakeContext intake{queue, addRing, servers, flags, zip, translator, ui, &written, {}};

  Stopwatch watch;
  QueueDroppedItems(intake, folder + u"\r");
  double seconds = watch.Seconds();
  if (queue.Size() != 1 || !PathExists(archive)) {
    std::fprintf(stderr, "pack: %d entries, archive %s\n", queue.Size(), PathToNative(archive).c_str());
    return 1;
  }
  PrintFigure("seconds", seconds, "s");
  PrintFigure("archive_bytes", static_cast<double>(FileSize(archive)), "B");
  return 0;
}

}  // namespace wexmoor::bench
