// The worker's patience, on a driven clock: a server that answers every
// connection with 421 is tried once per wait (5 s, 10, 20 ... with jitter)
// however many entries it has, while another server's entries go through;
// an entry whose local file is missing never connects; a new drop ends the
// wait at once. A key nobody trusts yet costs one connection: the server's
// entries wait for the key to be trusted, or for the user to ask again.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"
#include "spooler/retry_schedule.h"
#include "spooler/spooler_test_support.h"
#include "spooler/upload_worker.h"
#include "support/silent_worker_display.h"

namespace wexmoor {
namespace {

using testing::T;
using testing::TempFolder;
using testing::WriteFile;

// Accepts on 127.0.0.1, answers "421" and closes; notes the driven clock's
// time of each connection.
class RefusingServer {
 public:
  explicit RefusingServer(const Clock& clock) : clock_(clock) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd_, 16) != 0) return;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::jthread([this](std::stop_token stop) {
      while (!stop.stop_requested()) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) continue;
        const int client = ::accept(fd_, nullptr, nullptr);
        if (client < 0) continue;
        {
          std::lock_guard lock(mutex_);
          times_.push_back(clock_.MonotonicMs());
        }
        static const char kReply[] = "421 Too many connections, try later\r\n";
        (void)!::write(client, kReply, sizeof kReply - 1);
        ::close(client);
      }
    });
  }
  ~RefusingServer() {
    thread_ = {};
    ::close(fd_);
  }
  int port() const { return port_; }
  std::vector<std::int64_t> Times() const {
    std::lock_guard lock(mutex_);
    return times_;
  }

 private:
  const Clock& clock_;
  int fd_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::int64_t> times_;
  std::jthread thread_;
};

using NullDisplay = testing::SilentWorkerDisplay;

bool WaitReal(const std::function<bool()>& done, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

TEST(PatientRetries, RefusingServerFollowsTheScheduleWhileOthersGoOn) {
  FakeClock clock;
  UploadQueue queue;
  ServerTable servers;
  UiMessageRing removeRing;
  SharedFlags flags;
  SessionHistory history;
  ListenerPortSequence ports;
  FtpSession session{clock, ports, flags.lastProgressTime};
  NullDisplay display;
  DeliveryBook book;
  TempFolder local, remote;
  testing::PyFtpdServer live(remote.path());
  ASSERT_TRUE(live.ok()) << live.error();
  RefusingServer dead(clock), missingOnly(clock);

  const auto server = [&](int slot, const Text& name, int port, const Text& address) {
    ServerRecord r;
    r.name = name;
    r.address = address;
    r.port = port;
    r.login = u"user";
    r.password = u"secret";
    r.timeOut = 3000;
    servers.Set(slot, r);
  };
  server(1, u"dead", dead.port(), u"127.0.0.1");
  server(2, u"live", live.port(), u"127.0.0.1/in");
  server(3, u"other", missingOnly.port(), u"127.0.0.1");
  for (const char* name : {"a1", "a2", "a3", "b1", "b2"}) WriteFile(local.File(name), std::string("data of ") + name);
  for (const char* name : {"a1", "a2", "a3"}) queue.Append(T(local.File(name)) + u"|dead|");
  queue.Append(T(local.File("gone")) + u"|other|");
  for (const char* name : {"b1", "b2"}) queue.Append(T(local.File(name)) + u"|live|");

  WorkerContext context{queue, servers, removeRing, flags, history, session, clock, display};
  UploadWorker worker(context, &book);
  const std::int64_t start = clock.MonotonicMs();
  worker.Start();
  ASSERT_TRUE(WaitReal([&] { return clock.MonotonicMs() - start >= 310'000; }, 120'000));
  EXPECT_EQ(queue.Size(), 4) << "the live server's entries went through";
  EXPECT_EQ(testing::ReadFile(remote.File("in/b2")), "data of b2");
  EXPECT_TRUE(missingOnly.Times().empty()) << "a missing local file costs no connection";

  const std::vector<std::int64_t> times = dead.Times();
  std::printf("attempts on the refusing server (s after the start):");
  for (std::int64_t t : times) std::printf(" %.1f", static_cast<double>(t - start) / 1000.0);
  std::printf("\n");
  ASSERT_GE(times.size(), 6u);
  ASSERT_LE(times.size(), 8u) << "one attempt per wait, not one per entry";
  for (std::size_t i = 1; i < times.size(); ++i) {
    const std::int64_t base = RetryBaseMs(static_cast<int>(i));
    const std::int64_t gap = times[i] - times[i - 1];
    EXPECT_GE(gap, base - base / 5) << "wait " << i;
    EXPECT_LE(gap, base + base / 5 + 500) << "wait " << i;  // + one idle pass and the attempt itself
  }
  EXPECT_EQ(book.Get(queue.At(0)->id).status, EntryStatus::kWaiting);
  EXPECT_EQ(book.Get(queue.At(3)->id).status, EntryStatus::kLocalMissing);

  // A new drop ends the wait: the next pass knocks again.
  const std::size_t before = times.size();
  const std::int64_t dropped = clock.MonotonicMs();
  queue.Append(T(local.File("a1")) + u"|dead|");
  ASSERT_TRUE(WaitReal([&] { return dead.Times().size() > before; }, 20'000));
  // Well before the 5-minute wait it ended; the margin is for a loaded
  // machine, where the driven clock moves on while the session connects.
  EXPECT_LT(dead.Times().back() - dropped, 60'000);
  worker.Terminate();
}

// A session whose server's key is trusted only with the stored fingerprint
// "SHA256:good"; counts its openings, as connections to the server.
class KeyCheckingSession : public UploadSession {
 public:
  explicit KeyCheckingSession(std::atomic<int>& opens) : opens_(opens) {}
  void SetStopToken(std::stop_token) override {}
  bool IsOpen() const override { return open_; }
  SessionOpening Open(const ServerRecord& server, StatusTarget*) override {
    ++opens_;
    open_ = server.fingerprint == u"SHA256:good";
    return open_ ? SessionOpening::kOpen : SessionOpening::kUntrusted;
  }
  EntryOutcome Upload(const Text&, const Text&, ProgressTarget*, StatusTarget*) override { return EntryOutcome::kSent; }
  void Close(StatusTarget*) override { open_ = false; }
  Text TakeLog() override { return {}; }

 private:
  std::atomic<int>& opens_;
  bool open_ = false;
};

TEST(PatientRetries, AnUntrustedKeyCostsOneConnectionUntilTrustedOrAskedAgain) {
  FakeClock clock;
  UploadQueue queue;
  ServerTable servers;
  UiMessageRing removeRing;
  SharedFlags flags;
  SessionHistory history;
  ListenerPortSequence ports;
  FtpSession session{clock, ports, flags.lastProgressTime};
  NullDisplay display;
  DeliveryBook book;
  TempFolder local;
  ServerRecord record;
  record.name = u"box";
  record.address = u"127.0.0.1";
  record.connections = 4;
  servers.Set(1, record);
  for (const char* name : {"a", "b", "c"}) {
    WriteFile(local.File(name), name);
    queue.Append(T(local.File(name)) + u"|box|");
  }
  std::atomic<int> opens{0};
  WorkerContext context{queue, servers, removeRing, flags, history, session, clock, display};
  UploadWorker worker(context, &book);
  worker.SetSessionMaker([&](const ServerRecord&, std::atomic<std::int64_t>&) {
    return std::make_unique<KeyCheckingSession>(opens);
  });
  const auto minutesPass = [&](int minutes) {
    const std::int64_t from = clock.MonotonicMs();
    return WaitReal([&] { return clock.MonotonicMs() - from >= minutes * 60'000; }, 60'000);
  };
  worker.Start();
  ASSERT_TRUE(minutesPass(10));
  EXPECT_EQ(opens.load(), 1) << "one connection, however many entries and waits";
  EXPECT_EQ(queue.Size(), 3);

  // The user asks again (a drop): one more connection, held again.
  queue.Append(T(local.File("a")) + u"|box|");
  ASSERT_TRUE(minutesPass(10));
  EXPECT_EQ(opens.load(), 2);

  // Trusted: the fingerprint stored in the record lets every entry go.
  record.fingerprint = u"SHA256:good";
  servers.Set(1, record);
  ASSERT_TRUE(WaitReal([&] { return queue.Size() == 0; }, 20'000));
  worker.Terminate();
}

}  // namespace
}  // namespace wexmoor
