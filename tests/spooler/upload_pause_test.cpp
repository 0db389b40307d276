// The scheduler's pause and order rules, on sessions that upload nothing: an
// upload runs until the test lets it end, or until its stop.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "model/queue_pause.h"
#include "peers/test_paths.h"
#include "peers/worker_rig.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "spooler/upload_worker.h"
#include "support/recording_worker_display.h"
#include "support/wait_for.h"

namespace wexmoor {
namespace {

using namespace std::chrono_literals;
using testing::TempFolder;
using testing::WaitFor;

// What every session did, and the uploads the test lets end.
struct Uploads {
  std::mutex mutex;
  std::condition_variable_any changed;
  std::vector<std::string> begun;            // file names, in the order their uploads began
  std::map<std::string, int> running;        // file name -> uploads running now
  std::map<std::string, int> stopped;        // file name -> uploads ended by their stop
  std::map<std::string, std::set<std::string>> tokensSeen;  // the part tokens each file's attempts found
  std::set<std::string> released;            // may end (sent)

  int Running(const std::string& name) {
    std::lock_guard lock(mutex);
    return running[name];
  }
  int Stopped(const std::string& name) {
    std::lock_guard lock(mutex);
    return stopped[name];
  }
  std::vector<std::string> Begun() {
    std::lock_guard lock(mutex);
    return begun;
  }
  void Release(const std::string& name) {
    std::lock_guard lock(mutex);
    released.insert(name);
    changed.notify_all();
  }
};

class HeldSession final : public UploadSession {
 public:
  explicit HeldSession(Uploads& uploads) : uploads_(uploads) {}
  void SetStopToken(std::stop_token stop) override { stop_ = stop; }
  bool IsOpen() const override { return open_; }
  SessionOpening Open(const ServerRecord&, StatusTarget*) override {
    open_ = true;
    return SessionOpening::kOpen;
  }
  void UsePart(PartRecord* part, std::function<void(const PartRecord&)> begun) override {
    part_ = part;
    begun_ = std::move(begun);
  }
  EntryOutcome Upload(const Text& localPath, const Text&, ProgressTarget*, StatusTarget*) override {
    const std::string name = Utf16ToUtf8(FileNamePart(localPath));
    // A part of its own before the first byte, as the delivery policy keeps it.
    if (part_ != nullptr && !part_->Begun()) {
      *part_ = PartRecord{1, 1};
      part_->token = Utf8ToUtf16("token-" + name);
      part_->remotePath = Utf8ToUtf16("srv|" + name);
      if (begun_) begun_(*part_);
    }
    std::unique_lock lock(uploads_.mutex);
    uploads_.begun.push_back(name);
    uploads_.tokensSeen[name].insert(part_ != nullptr ? Utf16ToUtf8(part_->token) : "");
    ++uploads_.running[name];
    uploads_.changed.notify_all();
    const bool sent = uploads_.changed.wait(lock, stop_, [&] { return uploads_.released.contains(name); });
    --uploads_.running[name];
    if (!sent) {
      ++uploads_.stopped[name];
      open_ = false;
      return EntryOutcome::kStopped;
    }
    if (part_ != nullptr) *part_ = PartRecord{};
    return EntryOutcome::kSent;
  }
  void Close(StatusTarget*) override { open_ = false; }
  Text TakeLog() override { return {}; }

 private:
  Uploads& uploads_;
  std::stop_token stop_;
  bool open_ = false;
  PartRecord* part_ = nullptr;
  std::function<void(const PartRecord&)> begun_;
};

class UploadPause : public ::testing::Test, public testing::WorkerRig {
 protected:
  void AddServer(int slot, const Text& name, int connections) {
    ServerRecord record;
    record.name = name;
    record.address = u"127.0.0.1";
    record.connections = connections;
    servers.Set(slot, record);
  }
  // A local file queued for `server`.
  std::uint64_t Queue(const std::string& name, const std::string& server) {
    WriteWholeFile(Utf8ToUtf16(local.File(name)), "x");
    return *queue.Append(Utf8ToUtf16(local.File(name) + "|" + server + "|"));
  }
  void Start() {
    worker = std::make_unique<UploadWorker>(context, &book);
    worker->SetSessionMaker([this](const ServerRecord&, std::atomic<std::int64_t>&) {
      return std::make_unique<HeldSession>(uploads);
    });
    worker->Start();
  }

  TempFolder local;
  Uploads uploads;
  QueuePause pause;
  DeliveryBook book;
  testing::RecordingWorkerDisplay display;
  SystemClock realClock;
  WorkerContext context{queue, servers, removeRing, flags, history, session, realClock, display,
                        nullptr, nullptr, nullptr, &pause};
  std::unique_ptr<UploadWorker> worker;
};

// One table for the pause rules: two servers with one file each; a pause
// (of the queue or of server "a") set before the worker starts holds back
// what it covers, and set while both upload stops what it covers within a
// second (the part stays with its entry); the rest goes on. Resumed, every
// file is sent, a stopped one continuing its own part.
TEST_F(UploadPause, PauseHoldsBackAndStopsWhatItCovers) {
  enum class When { kNever, kBefore, kDuring };
  struct Case {
    const char* rule;
    When when;
    bool all;             // else server "a" alone
    bool aGoesOn, bGoesOn;
  };
  const Case cases[] = {
      {"nothing paused: both upload", When::kNever, true, true, true},
      {"queue paused first: nothing starts", When::kBefore, true, false, false},
      {"server paused first: only its entries wait", When::kBefore, false, false, true},
      {"queue paused while uploading: both stop and keep their parts", When::kDuring, true, false, false},
      {"server paused while uploading: only it stops", When::kDuring, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    worker.reset();
    {
      std::lock_guard lock(uploads.mutex);
      uploads.begun.clear();
      uploads.running.clear();
      uploads.stopped.clear();
      uploads.tokensSeen.clear();
      uploads.released.clear();
    }
    pause.ResumeAll();
    queue.Clear();
    AddServer(1, u"a", 1);
    AddServer(2, u"b", 1);
    const auto apply = [&] { c.all ? pause.SetAll(true) : pause.SetServer(u"a", true); };
    if (c.when == When::kBefore) apply();
    Queue("a.bin", "a");
    Queue("b.bin", "b");
    Start();
    if (c.when == When::kBefore) {
      ASSERT_TRUE(WaitFor([&] { return !c.bGoesOn || uploads.Running("b.bin") == 1; }, 5s));
      std::this_thread::sleep_for(300ms);  // several passes of the scheduler
      EXPECT_EQ(uploads.Running("a.bin"), c.aGoesOn ? 1 : 0);
      EXPECT_EQ(uploads.Running("b.bin"), c.bGoesOn ? 1 : 0);
    } else {
      ASSERT_TRUE(WaitFor([&] { return uploads.Running("a.bin") == 1 && uploads.Running("b.bin") == 1; }, 5s));
    }
    if (c.when == When::kDuring) {
      const auto paused = std::chrono::steady_clock::now();
      apply();
      EXPECT_TRUE(WaitFor([&] { return uploads.Stopped("a.bin") == 1; }, 1s)) << "stopped within 1 s";
      EXPECT_LT(std::chrono::steady_clock::now() - paused, 1s);
      std::this_thread::sleep_for(300ms);
      EXPECT_EQ(uploads.Running("a.bin"), 0) << "not started again while paused";
      EXPECT_EQ(uploads.Running("b.bin"), c.bGoesOn ? 1 : 0);
      EXPECT_EQ(uploads.Stopped("b.bin"), c.bGoesOn ? 0 : 1);
      EXPECT_EQ(queue.Size(), 2) << "stopped entries stay queued";
      for (const QueueEntry& entry : queue.Entries()) {
        if (EntryServerName(entry.text) == u"b" && c.bGoesOn) continue;
        EXPECT_EQ(book.Get(entry.id).part.token.substr(0, 6), u"token-") << "the part stays with its entry";
        EXPECT_EQ(book.Get(entry.id).status, EntryStatus::kQueued);
      }
    }
    pause.ResumeAll();
    uploads.Release("a.bin");
    uploads.Release("b.bin");
    EXPECT_TRUE(WaitFor([&] { return queue.Size() == 0; }, 5s)) << "everything sent once resumed";
    std::lock_guard lock(uploads.mutex);
    for (const char* name : {"a.bin", "b.bin"})
      EXPECT_EQ(uploads.tokensSeen[name], std::set<std::string>{std::string("token-") + name})
          << name << ": every attempt continued the same part";
  }
}

// The scheduler takes entries in queue order: an entry moved to the top is
// the next one its server's session takes; moved to the bottom, the last.
TEST_F(UploadPause, MovedEntriesGoInTheirNewOrder) {
  AddServer(1, u"a", 1);
  for (int i = 1; i <= 6; ++i) Queue("f" + std::to_string(i), "a");
  Start();
  ASSERT_TRUE(WaitFor([&] { return uploads.Running("f1") == 1; }, 5s));
  const std::vector<QueueEntry> entries = queue.Entries();
  EXPECT_EQ(queue.Move({entries[5].id}, true), 1);                   // f6 first
  EXPECT_EQ(queue.Move({entries[1].id, entries[2].id}, false), 2);  // f2, f3 last
  for (int i = 1; i <= 6; ++i) uploads.Release("f" + std::to_string(i));
  ASSERT_TRUE(WaitFor([&] { return queue.Size() == 0; }, 5s));
  EXPECT_EQ(uploads.Begun(), (std::vector<std::string>{"f1", "f6", "f4", "f5", "f2", "f3"}));
}

}  // namespace
}  // namespace wexmoor
