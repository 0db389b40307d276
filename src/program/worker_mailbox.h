// The worker's texts and progress on their way to the window: the worker
// writes the latest values under a short lock and never waits for the window;
// the window takes whatever changed on each pass of its timer.
#pragma once

#include <mutex>
#include <optional>

#include "ftp/status_target.h"
#include "program/upload_notifications.h"
#include "spooler/worker_display.h"
#include "i18n/language_translator.h"
#include "platform/text.h"

namespace wexmoor {

// The status line shown for the upload that began last: its own text, led by
// "[3 files in progress] " while more than one upload runs.
Text StatusLineText(const Text& status, int filesInProgress, const Translator& translator);

class WorkerMailbox : public WorkerDisplay {
 public:
  struct Changes {
    std::optional<Text> currentFile;
    std::optional<Text> status;
    std::optional<int> progress;
    std::optional<int> filesInProgress;
    bool Empty() const { return !currentFile && !status && !progress && !filesInProgress; }
  };

  void PostCurrentFile(const Text& name);
  void PostStatus(const Text& line);
  void PostProgress(int percent);
  void PostFilesInProgress(int count);
  // What changed since the last call; the mailbox is then empty.
  Changes Take();

  // WorkerDisplay
  void SetCurrentFile(const Text& name) override { PostCurrentFile(name); }
  StatusTarget& Status() override { return status_; }
  ProgressTarget& Progress() override { return progress_; }
  void SetFilesInProgress(int count) override { PostFilesInProgress(count); }
  void EntryOutcome(std::uint64_t entryId, const Text& entryText, bool uploaded) override;

  // Where entry outcomes go; null: nowhere. Set before the worker starts.
  void SetNotifications(UploadNotifications* notifications) { notifications_ = notifications; }

 private:
  class StatusSink : public StatusTarget {
   public:
    explicit StatusSink(WorkerMailbox& box) : box_(box) {}
    void SetStatusText(const Text& line) override { box_.PostStatus(line); }

   private:
    WorkerMailbox& box_;
  };
  class ProgressSink : public ProgressTarget {
   public:
    explicit ProgressSink(WorkerMailbox& box) : box_(box) {}
    void SetProgress(int percent) override { box_.PostProgress(percent); }

   private:
    WorkerMailbox& box_;
  };

  std::mutex mutex_;
  Changes pending_;
  UploadNotifications* notifications_ = nullptr;
  StatusSink status_{*this};
  ProgressSink progress_{*this};
};

}  // namespace wexmoor
