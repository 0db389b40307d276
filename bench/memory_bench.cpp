// Peak resident size of the program's state, idle and with a full queue
// loaded from the preference file and listed.
#include "bench_commands.h"
#include "bench_support.h"
#include "program/program_state.h"
#include "settings/settings_store.h"

namespace wexmoor::bench {

int RunMemoryIdle(const Arguments&) {
  ProgramState state(u"");
  PrintFigure("peak_rss", PeakResidentMiB(), "MiB");
  return state.queue.Size() == 0 ? 0 : 1;
}

int RunMemoryListed(const Arguments& args) {
  ProgramState state(u"");
  LoadSettings(Path(args[0]), false, state.servers, state.options, state.queue, state.addRing);
  IdleWorkerControl worker;
  MainWindowPresenterContext loop{state.queue, state.servers, state.addRing, state.removeRing, state.flags, state.clock,
                       worker, [](StatusTarget*) {}, state.options.hideServerList,
                       state.options.disableUpdates, state.options.currentServer, u"", {}};
  ListOnlyView view;
  MainWindowPresenter pass(loop, view);
  int entries = state.queue.Size();
  ListUntil(pass, view, entries, 30);
  if (entries == 0 || view.QueueCount() != entries) {
    std::fprintf(stderr, "memory-listed: %d queued, %d listed\n", entries, view.QueueCount());
    return 1;
  }
  PrintFigure("peak_rss", PeakResidentMiB(), "MiB");
  PrintFigure("entries", entries, "entries");
  return 0;
}

}  // namespace wexmoor::bench
