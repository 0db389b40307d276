// Shared pieces of the benchmark commands: a stopwatch, the figure printer,
// peak resident size, and the quiet stand-ins for the window's interfaces.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ftp/status_target.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "platform/text.h"
#include "spooler/drop_intake.h"
#include "spooler/worker_display.h"
#include "program/main_window_presenter.h"

namespace wexmoor::bench {

class Stopwatch {
 public:
  Stopwatch() : start_(std::chrono::steady_clock::now()) {}
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_;
};

// One figure as a JSON line on standard output: {"figure": ..., "value": ...}.
inline void PrintFigure(const std::string& figure, double value, const std::string& unit) {
  std::printf("{\"figure\": \"%s\", \"value\": %.6f, \"unit\": \"%s\"}\n", figure.c_str(), value, unit.c_str());
  std::fflush(stdout);
}

// Peak resident size of this process in MiB: the high-water mark of its own
// memory (VmHWM). ru_maxrss would report the launching process's peak when
// that was higher, since it survives exec.
inline double PeakResidentMiB() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  std::fclose(status);
  return static_cast<double>(kib) / 1024.0;
}

inline Text Path(const std::string& native) { return NativeToPath(native); }

// The worker's display with the window's cost left out: every value is taken
// and dropped.
class QuietDisplay final : public WorkerDisplay, public StatusTarget, public ProgressTarget {
 public:
  void SetCurrentFile(const Text& name) override { last_ = name; }
  StatusTarget& Status() override { return *this; }
  ProgressTarget& Progress() override { return *this; }
  void SetStatusText(const Text& text) override { last_ = text; }
  void SetProgress(int percent) override { percent_ = percent; }

 private:
  Text last_;
  int percent_ = 0;
};

// The main window as drop intake sees it: a fixed server and the zip box.
class FixedIntakeUi final : public IntakeUi {
 public:
  FixedIntakeUi(Text server, bool zip) : server_(std::move(server)), zip_(zip) {}
  Text SelectedServerName() const override { return server_; }
  bool ZipChecked() const override { return zip_; }
  void ShowError(const Text& title, const Text& message) override {
    std::fprintf(stderr, "intake error: %s: %s\n", Utf16ToUtf8(title).c_str(), Utf16ToUtf8(message).c_str());
  }

 private:
  Text server_;
  bool zip_;
};

// The queue list as a plain vector of display texts (what a list control
// holds per item); the rest of the window does nothing.
class ListOnlyView final : public MainWindowView, public StatusTarget {
 public:
  ListOnlyView() { items.reserve(80000); }
  int QueueCount() const override { return static_cast<int>(items.size()); }
  const Text& QueueItem(int index) const override { return items[static_cast<std::size_t>(index)]; }
  void AppendQueueItem(const Text& text) override { items.push_back(text); }
  void RemoveQueueItem(int index) override { items.erase(items.begin() + index); }
  int SelectedQueueItem() const override { return -1; }
  void SelectQueueItem(int) override {}
  void SetRemoveEnabled(bool) override {}
  void SetElapsedText(const Text&) override {}
  StatusTarget& StatusLine() override { return *this; }
  void SetStatusText(const Text&) override {}
  Text CurrentFileText() const override { return {}; }
  void ClearProgress() override {}
  bool ServerListShown() const override { return true; }
  int SelectedServer() const override { return 0; }
  Text ServerListText() const override { return u"bench"; }
  void FillServerList(const std::vector<Text>&) override {}
  void SelectServer(int) override {}
  void RemoveServerItem(int) override {}
  void RebuildServerArea(const Text&, bool) override {}
  bool AskYesNo(const Text&, const Text&) override { return false; }
  int EditServer(int slot) override { return slot; }
  int ShowAbout(int, int, bool) override { return 0; }
  void OpenAddress(const Text&) override {}
  Text Translate(TextView english) const override { return Text(english); }
  Text Language() const override { return u"English"; }

  std::vector<Text> items;
};

class IdleWorkerControl final : public WorkerControl {
 public:
  void Start() override {}
  void Terminate() override {}
};

// Runs main-loop passes every 20 ms (the window's timer) until the view lists
// `expected` items or `limitSeconds` passed; the number of passes.
int ListUntil(MainWindowPresenter& pass, const ListOnlyView& view, int expected, double limitSeconds);

}  // namespace wexmoor::bench
