// Delivery on a link that breaks, against real servers (pyftpdlib, vsftpd):
// the connection cut at 10 %, 50 % and 99 % of a 50 MiB file, and the server
// killed and started again in the middle. Each time the file must arrive
// byte for byte, the server must have taken less than 1.3 times its size in
// all, an observer polling the folder every 2 ms must never see the final
// name holding less than the whole file, and no part may be left.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"
#include "peers/worker_rig.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "spooler/upload_worker.h"
#include "support/silent_worker_display.h"

namespace wexmoor {
namespace {

namespace fs = std::filesystem;
using testing::PyFtpdOptions;
using testing::PyFtpdServer;
using testing::TempFolder;

constexpr std::size_t kSize = 50u << 20;

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t x = 12345;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(x >> 24);
  }
  return bytes;
}

const std::string& Content() {
  static const std::string bytes = Pattern(kSize);
  return bytes;
}

// Sum of the byte counts in the server's received log ("<bytes> <path>").
std::uint64_t ReceivedTotal(const std::string& log) {
  std::ifstream in(log);
  std::uint64_t total = 0, bytes = 0;
  std::string path;
  while (in >> bytes >> path) total += bytes;
  return total;
}

// Polls `folder` every 2 ms; counts sightings of a final name (no ".part")
// whose size is not the whole file's.
class Observer {
 public:
  Observer(std::string folder, std::uintmax_t size)
      : thread_([this, folder = std::move(folder), size](std::stop_token stop) {
          while (!stop.stop_requested()) {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(folder, ec)) {
              if (e.path().extension() == ".part") continue;
              const std::uintmax_t seen = fs::file_size(e.path(), ec);
              if (!ec && seen != size) ++partialSightings_;
            }
            ++looks_;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
          }
        }) {}
  int PartialSightings() const { return partialSightings_.load(); }
  int Looks() const { return looks_.load(); }

 private:
  std::atomic<int> partialSightings_{0};
  std::atomic<int> looks_{0};
  std::jthread thread_;
};

using NullDisplay = testing::SilentWorkerDisplay;

bool WaitUntil(const std::function<bool()>& done, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class LinkFaults : public ::testing::Test, public testing::WorkerRig {
 protected:
  void SetUp() override {
    fs::create_directories(remote.File("in"));
    ASSERT_TRUE(WriteWholeFile(Utf8ToUtf16(local.File("big.bin")), Content()));
    queue.Append(Utf8ToUtf16(local.File("big.bin") + "|srv|"));
  }
  void PointAt(int port) {
    ServerRecord r;
    r.name = u"srv";
    r.address = u"127.0.0.1/in";
    r.port = port;
    r.login = u"user";
    r.password = u"secret";
    r.timeOut = 5000;
    servers.Set(1, r);
  }
  PyFtpdOptions Options(std::vector<std::string> extra) {
    extra.push_back("--received-log");
    extra.push_back(log);
    PyFtpdOptions options;
    options.extra = extra;
    return options;
  }
  // The file arrived whole, once, under its final name only.
  void CheckArrival(std::uint64_t received, const Observer& observer) {
    EXPECT_TRUE(ReadWholeFile(Utf8ToUtf16(remote.File("in/big.bin"))).value_or("") == Content());
    EXPECT_FALSE(fs::exists(remote.File("in/big.bin.part")));
    std::printf("received %.3f x the size; %d looks at the folder\n", static_cast<double>(received) / kSize,
                observer.Looks());
    EXPECT_LT(received, kSize * 13 / 10);
    EXPECT_GT(observer.Looks(), 10);
    EXPECT_EQ(observer.PartialSightings(), 0);
  }

  TempFolder remote, local;
  std::string log = remote.File("received.log");
  NullDisplay display;
  WorkerContext context{queue, servers, removeRing, flags, history, session, clock, display};
};

TEST_F(LinkFaults, DataConnectionCutAt10And50And99Percent) {
  for (int percent : {10, 50, 99}) {
    SCOPED_TRACE(std::to_string(percent) + " %");
    fs::remove(remote.File("in/big.bin"));
    fs::remove(log);
    if (queue.Size() == 0) queue.Append(Utf8ToUtf16(local.File("big.bin") + "|srv|"));
    PyFtpdServer server(remote.path(), Options({"--cut-after", std::to_string(kSize / 100 * percent)}));
    ASSERT_TRUE(server.ok()) << server.error();
    PointAt(server.port());
    Observer observer(remote.File("in"), kSize);
    UploadWorker worker(context);
    worker.Start();
    const bool drained = WaitUntil([&] { return queue.Size() == 0; }, 120);
    worker.Terminate();
    ASSERT_TRUE(drained) << Utf16ToUtf8(history.Get()).substr(0, 4000);
    EXPECT_NE(history.Get().find(u"Resuming at"), Text::npos) << "the second attempt continued the part";
    CheckArrival(ReceivedTotal(log), observer);
  }
}

TEST_F(LinkFaults, ServerKilledAndStartedAgainInTheMiddle) {
  const std::vector<std::string> slow = {"--read-limit", std::to_string(20 << 20)};
  auto first = std::make_unique<PyFtpdServer>(remote.path(), Options(slow));
  ASSERT_TRUE(first->ok()) << first->error();
  const int port = first->port();
  PointAt(port);
  Observer observer(remote.File("in"), kSize);
  UploadWorker worker(context);
  worker.Start();
  const std::string part = remote.File("in/big.bin.part");
  ASSERT_TRUE(WaitUntil([&] {
    std::error_code ec;
    return fs::file_size(part, ec) > kSize / 2 && !ec;
  }, 60));
  first->Kill();
  const std::uint64_t beforeKill = fs::file_size(part);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  PyFtpdOptions again = Options({});
  again.port = port;
  PyFtpdServer second(remote.path(), again);
  ASSERT_TRUE(second.ok()) << second.error();
  const bool drained = WaitUntil([&] { return queue.Size() == 0; }, 120);
  worker.Terminate();
  ASSERT_TRUE(drained) << Utf16ToUtf8(history.Get()).substr(0, 4000);
  CheckArrival(beforeKill + ReceivedTotal(log), observer);
}

// vsftpd forks a process per session: killing those processes at 10 %, 50 %
// and 99 % drops the control and the data connection together, as a broken
// link does, while the listener stays for the next attempt.
TEST_F(LinkFaults, VsftpdSessionsKilledAt10And50And99Percent) {
  if (::geteuid() != 0 || !fs::exists("/usr/sbin/vsftpd")) GTEST_SKIP() << "vsftpd needs root and /usr/sbin/vsftpd";
  PyFtpdOptions options;
  options.script = testing::SourceDir() + "/tests/peers/vsftpd_server.py";
  options.user = "wxtest" + std::to_string(::getpid() % 100000);
  options.password = "pw-" + std::to_string(::getpid());
  options.extra = {"--rate", std::to_string(20 << 20)};
  PyFtpdServer server(remote.path(), options);
  ASSERT_TRUE(server.ok()) << server.error();
  ServerRecord r;
  r.name = u"srv";
  r.address = u"127.0.0.1/in";
  r.port = server.port();
  r.login = Utf8ToUtf16(options.user);
  r.password = Utf8ToUtf16(options.password);
  r.timeOut = 5000;
  servers.Set(1, r);
  const std::string part = remote.File("in/big.bin.part");
  for (int percent : {10, 50, 99}) {
    SCOPED_TRACE(std::to_string(percent) + " %");
    fs::remove(remote.File("in/big.bin"));
    if (queue.Size() == 0) queue.Append(Utf8ToUtf16(local.File("big.bin") + "|srv|"));
    Observer observer(remote.File("in"), kSize);
    UploadWorker worker(context);
    worker.Start();
    ASSERT_TRUE(WaitUntil([&] {
      std::error_code ec;
      return fs::file_size(part, ec) >= kSize / 100 * percent && !ec;
    }, 60));
    server.Signal(SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::error_code ec;
    const std::uint64_t firstAttempt = fs::file_size(part, ec);
    const bool drained = WaitUntil([&] { return queue.Size() == 0; }, 120);
    worker.Terminate();
    ASSERT_TRUE(drained) << Utf16ToUtf8(history.Get()).substr(0, 4000);
    const std::string h = Utf16ToUtf8(history.Get());
    const std::size_t at = h.rfind("Resuming at ");
    ASSERT_NE(at, std::string::npos) << "the second attempt continued the part";
    const std::uint64_t resumedFrom = std::stoull(h.substr(at + 12));
    CheckArrival(firstAttempt + (kSize - resumedFrom), observer);
  }
}

}  // namespace
}  // namespace wexmoor
