// The cost of keeping the queue on disk while it drains: a full queue of
// ENTRIES entries is emptied at up to RATE entries per second by a loop that
// does what the upload worker does around a session that finishes at once:
// the entry's part is begun, the delivery is journaled (one flushed line),
// the entry leaves the queue and its record. The autosave thread runs as in
// the program. The drain is run twice on the same queue: with the journal
// (the program's way) and with a whole rewrite of the preference file for
// every change, coalesced (the way before, when deliveries were written down
// too but every change still rewrote the file). Figures for each: the
// processor time spent on the disk (the autosave thread's and the delivery
// lines') as a share of one core over the drain, the whole saves, and the
// longest time from a change until the autosave counts it on the disk; then
// the ratios of the two.
#include <algorithm>
#include <ctime>
#include <deque>
#include <thread>

#include "bench_commands.h"
#include "bench_support.h"
#include "platform/files.h"
#include "settings/settings_autosave.h"

namespace wexmoor::bench {
namespace {

std::int64_t ThreadCpuUs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

struct DrainFigures {
  double seconds = 0;
  double cpuShare = 0;  // % of a core, the two below together
  double autosaveShare = 0;
  double appendShare = 0;  // the worker's delivery lines
  double longestGap = 0;
  std::uint64_t saves = 0;
  std::uint64_t journalPasses = 0;
};

DrainFigures Drain(const Text& file, int entries, int rate, bool journal) {
  RemoveFile(file);
  RemoveFile(DeliveredJournalPath(file));
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
    queue.Append(Path("/home/user/pictures/" + sub + "/picture_" + std::to_string(100000 + i) + ".jpg|bench|pictures/" +
                      sub));
  }
  SystemClock clock;
  std::string error;
  std::mt19937 random;
  // The queue as it was at the start is on the disk.
  if (!SaveSettings(file, false, servers, options, queue, std::nullopt, random, &error, &delivery))
    throw std::runtime_error("cannot save " + error);
  // Without the journal's help the deliveries were written down all the
  // same (the worker did so before), to a journal the autosave left alone.
  const Text journalPath = journal ? DeliveredJournalPath(file) : file + u".appended";
  RemoveFile(journalPath);
  DeliveredJournal delivered(journalPath);
  SettingsAutosave saver(AutosaveSources{file, false, servers, queue, delivery, clock}, options,
                         journal ? &delivered : nullptr);
  saver.Start();

  // Changes not yet on the disk: when they were made and the generation
  // that counts them.
  std::deque<std::pair<double, std::uint64_t>> pending;
  DrainFigures out;
  const auto settle = [&](double now) {
    const std::uint64_t durable = saver.DurableGeneration();
    while (!pending.empty() && pending.front().second <= durable) {
      out.longestGap = std::max(out.longestGap, now - pending.front().first);
      pending.pop_front();
    }
  };
  Stopwatch wall;
  std::int64_t journalCpuUs = 0;
  const auto period = std::chrono::nanoseconds(1'000'000'000 / rate);
  auto next = std::chrono::steady_clock::now();
  while (queue.Size() > 0) {
    const QueueEntry entry = *queue.At(0);
    delivery.SetPart(entry.id, PartRecord{1 << 20, 1765000000});
    pending.emplace_back(wall.Seconds(), saver.Generation());
    {
      const std::int64_t cpuStart = ThreadCpuUs();
      delivered.Add(entry.text, PartRecord{1 << 20, 1765000000}, entry.id);
      journalCpuUs += ThreadCpuUs() - cpuStart;
    }
    queue.RemoveById(entry.id);
    delivery.Forget(entry.id);
    pending.emplace_back(wall.Seconds(), saver.Generation());
    settle(wall.Seconds());
    next += period;
    std::this_thread::sleep_until(next);
  }
  out.seconds = wall.Seconds();
  // The last change reaches the disk too.
  while (!pending.empty() && wall.Seconds() < out.seconds + 10) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    settle(wall.Seconds());
  }
  saver.Stop();
  if (!pending.empty()) out.longestGap = std::max(out.longestGap, wall.Seconds() - pending.front().first);
  out.autosaveShare = static_cast<double>(saver.TotalSaveCpuUs()) / 1e6 / out.seconds * 100.0;
  out.appendShare = static_cast<double>(journalCpuUs) / 1e6 / out.seconds * 100.0;
  out.cpuShare = out.autosaveShare + out.appendShare;
  if (!journal) RemoveFile(journalPath);
  out.saves = saver.Saves();
  out.journalPasses = saver.JournalPasses();
  return out;
}

void Print(const std::string& prefix, const DrainFigures& f) {
  PrintFigure(prefix + "drain", f.seconds, "s");
  PrintFigure(prefix + "save-cpu-share", f.cpuShare, "% of a core");
  PrintFigure(prefix + "autosave-thread-cpu-share", f.autosaveShare, "% of a core");
  PrintFigure(prefix + "delivery-line-cpu-share", f.appendShare, "% of a core");
  PrintFigure(prefix + "longest-change-to-disk", f.longestGap, "s");
  PrintFigure(prefix + "whole-saves", static_cast<double>(f.saves), "saves");
  PrintFigure(prefix + "journal-passes", static_cast<double>(f.journalPasses), "passes");
}

}  // namespace

int RunAutosaveDrain(const Arguments& args) {
  const Text file = Path(args[0]);
  const int entries = std::stoi(args[1]);
  const int rate = std::stoi(args[2]);
  const DrainFigures journal = Drain(file, entries, rate, true);
  Print("journal-", journal);
  const DrainFigures whole = Drain(file, entries, rate, false);
  Print("rewrite-", whole);
  PrintFigure("cpu-share-ratio-rewrite-to-journal", whole.cpuShare / std::max(journal.cpuShare, 1e-9), "x");
  PrintFigure("longest-gap-ratio-rewrite-to-journal", whole.longestGap / std::max(journal.longestGap, 1e-9), "x");
  RemoveFile(file);
  RemoveFile(DeliveredJournalPath(file));
  return 0;
}

}  // namespace wexmoor::bench
