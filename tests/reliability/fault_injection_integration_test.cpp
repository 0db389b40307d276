// Faults on the server side during real uploads through the worker and the
// FTP engine. Three entries are queued; the middle one goes to a scripted
// server that misbehaves once (or a few times) and then takes the file, the
// other two go to a real FTP server. Each time the faulty entry must stay
// queued, be tried again and finally arrive whole, while its neighbours go
// through untouched and in order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "peers/fake_ftp_server.h"
#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"
#include "peers/worker_rig.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "spooler/upload_worker.h"
#include "support/wait_for.h"
#include "support/recording_worker_display.h"

namespace wexmoor {
namespace {

using testing::FakeFtpServer;
using testing::PyFtpdServer;
using testing::TempFolder;
using testing::WaitFor;

constexpr int kTimeOutMs = 800;


std::string Slurp(const std::string& path) { return ReadWholeFile(Utf8ToUtf16(path)).value_or("<missing>"); }

// Bytes that show a shifted, dropped or repeated block at once.
std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned x = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<char>(x >> 24);
  }
  return bytes;
}

class FaultInjection : public ::testing::Test, public testing::WorkerRig {
 protected:
  FaultInjection() {
    ServerRecord good;
    good.name = u"good";
    good.address = u"127.0.0.1/upload";
    good.login = u"user";
    good.password = u"secret";
    good.port = pyftpd.port();
    good.timeOut = 5000;
    good.connections = 1;  // one session per server: the order below is fixed
    servers.Set(1, good);
    ServerRecord bad = good;
    bad.name = u"faulty";
    bad.address = u"127.0.0.1";
    bad.port = fake.port();
    bad.timeOut = kTimeOutMs;
    servers.Set(2, bad);
  }

  // Three entries, the middle one for the scripted server.
  void QueueThree(std::size_t middleSize) {
    first = Pattern(3000, 1);
    middle = Pattern(middleSize, 2);
    last = Pattern(4500, 3);
    for (auto [name, bytes] : {std::pair{"first.bin", &first}, {"middle.bin", &middle}, {"last.bin", &last}}) {
      const std::string path = local.File(name);
      ASSERT_TRUE(WriteWholeFile(Utf8ToUtf16(path), *bytes));
    }
    entries = {local.File("first.bin") + "|good|", local.File("middle.bin") + "|faulty|",
               local.File("last.bin") + "|good|"};
    for (const auto& e : entries) ASSERT_TRUE(queue.Append(Utf8ToUtf16(e)));
  }

  // The scripted server's last connection: a clean upload of the file.
  void AcceptUpload() {
    fake.Do([this] {
          // The neighbours have gone by now; only the faulty entry is left.
          std::lock_guard lock(mutex);
          queueAtRetry = queue.Texts();
          dataBeforeRetry = fake.DataReceived().size();
        })
        .Greet()
        .Login();
    AskForPart();
    fake.Pasv()
        .Reply("STOR middle.bin.part", "150 Opening data connection")
        .AcceptData()
        .ReceiveData()
        .CloseData()
        .Send("226 Transfer complete\r\n")
        .Reply("SIZE middle.bin.part", "213 " + std::to_string(middle.size()))
        .Reply("RNFR middle.bin.part", "350 Ready")
        .Reply("RNTO middle.bin", "250 Renamed")
        .Pasv()  // asked with RNTO, for a next file
        .Reply("QUIT", "221 Goodbye");
  }
  // A retry first asks for the part the failed attempt began; here none
  // exists. (The final name is asked only after a rename was issued.)
  void AskForPart() { fake.Reply("SIZE middle.bin.part", "550 No such file"); }

  // Runs the worker until the queue is empty, then checks every file.
  void RunAndCheck() {
    fake.Start();
    UploadWorker worker(context);
    worker.Start();
    const bool emptied = WaitFor([&] { return queue.Size() == 0; });
    worker.Terminate();
    ASSERT_TRUE(emptied) << "left in the queue: " << queue.Size() << "\n" << Utf16ToUtf8(history.Get());
    // Removed in the worker's order: both neighbours, then the retried entry.
    // The faulty entry removed before the last one means its failure was
    // taken for success.
    std::vector<std::string> removed;
    Text text;
    for (int slot = 0; slot < 10; ++slot)
      if (removeRing.Peek(slot, text)) removed.push_back(Utf16ToUtf8(text));
    EXPECT_EQ(removed, (std::vector<std::string>{entries[0], entries[2], entries[1]}));
    EXPECT_EQ(flags.ftpBusy.load(), 0);
    EXPECT_TRUE(fake.WaitFinished(5000));
    EXPECT_TRUE(fake.Problems().empty()) << fake.Problems().front();

    EXPECT_TRUE(Slurp(remote.File("upload/first.bin")) == first);
    EXPECT_TRUE(Slurp(remote.File("upload/last.bin")) == last);
    std::lock_guard lock(mutex);
    ASSERT_EQ(queueAtRetry.size(), 1u);
    EXPECT_EQ(Utf16ToUtf8(queueAtRetry[0]), entries[1]);
    const std::string all = fake.DataReceived();
    ASSERT_LE(dataBeforeRetry, all.size());
    EXPECT_TRUE(all.substr(dataBeforeRetry) == middle)
        << "the retry sent " << all.size() - dataBeforeRetry << " bytes of " << middle.size();

  }

  TempFolder remote, local;
  PyFtpdServer pyftpd{remote.path()};
  FakeFtpServer fake;
  testing::RecordingWorkerDisplay display;
  WorkerContext context{queue, servers, removeRing, flags, history, session, clock, display};

  std::string first, middle, last;
  std::vector<std::string> entries;
  std::mutex mutex;
  std::vector<Text> queueAtRetry;
  std::size_t dataBeforeRetry = 0;
};

TEST_F(FaultInjection, DataConnectionClosedInTheMiddleOfAStore) {
  ASSERT_TRUE(pyftpd.ok()) << pyftpd.error();
  // Large enough that the cut comes long before the kernel could have taken
  // the whole file.
  QueueThree(6u << 20);
  fake.Greet()
      .Login()
      .Pasv()
      .Reply("STOR middle.bin.part", "150 Opening data connection")
      .AcceptData()
      .ReceiveData(200000)
      .CloseData()
      .Send("426 Connection closed; transfer aborted\r\n")
      .Reply("QUIT", "221 Goodbye")
      .NextClient();
  AcceptUpload();
  RunAndCheck();
  EXPECT_LT(dataBeforeRetry, middle.size());
}

TEST_F(FaultInjection, ServerStopsAnsweringAfterPasv) {
  ASSERT_TRUE(pyftpd.ok()) << pyftpd.error();
  QueueThree(70000);
  // Takes PASV and then says nothing, until the worker has given up and
  // moved on to the next entry.
  fake.Greet()
      .Login()
      .Expect("PASV")
      .Do([this] { WaitFor([this] { return display.Turns() >= 3; }); })
      .NextClient()
      // The second time the 227 comes, but STOR goes unanswered.
      .Greet()
      .Login();
  AskForPart();
  fake.Pasv()
      .Expect("STOR middle.bin.part")
      .Do([this] { WaitFor([this] { return display.Turns() >= 5; }); })
      .NextClient();
  AcceptUpload();
  RunAndCheck();
}

TEST_F(FaultInjection, StoreRefusedThreeTimesThenAccepted) {
  ASSERT_TRUE(pyftpd.ok()) << pyftpd.error();
  QueueThree(10000);
  fake.Greet();
  for (int refusal = 0; refusal < 3; ++refusal) {
    if (refusal > 0) fake.Greet();
    fake.Login();
    if (refusal > 0) AskForPart();
    fake.Pasv()
        .Reply("STOR middle.bin", "550 Permission denied")
        .Reply("QUIT", "221 Goodbye")
        .NextClient();
  }
  AcceptUpload();
  RunAndCheck();
  EXPECT_EQ(fake.ControlConnections(), 4);
}

// The real server refuses the file while its name is taken by a folder, and
// takes it once the folder has gone.
TEST_F(FaultInjection, RealServerRefusesUntilTheNameIsFree) {
  ASSERT_TRUE(pyftpd.ok()) << pyftpd.error();
  ServerRecord real = servers.Get(2);
  real.address = u"127.0.0.1/upload";
  real.port = pyftpd.port();
  servers.Set(2, real);
  std::filesystem::create_directories(remote.File("upload/middle.bin"));
  QueueThree(30000);
  UploadWorker worker(context);
  worker.Start();
  // The part goes in; the rename onto the folder's name is what is refused.
  auto refusals = [&] {
    const Text h = history.Get();
    int count = 0;
    for (std::size_t at = h.find(u"RNTO middle.bin"); at != Text::npos; at = h.find(u"RNTO middle.bin", at + 1))
      ++count;
    return count;
  };
  // Refused twice, and its neighbours gone meanwhile (they need not wait for it).
  const bool refusedTwice = WaitFor([&] { return refusals() >= 2 && queue.Size() == 1; });
  const std::vector<Text> whileRefused = queue.Texts();
  std::filesystem::remove(remote.File("upload/middle.bin"));
  const bool emptied = WaitFor([&] { return queue.Size() == 0; });
  worker.Terminate();
  ASSERT_TRUE(refusedTwice) << Utf16ToUtf8(history.Get());
  ASSERT_TRUE(emptied) << Utf16ToUtf8(history.Get());
  ASSERT_EQ(whileRefused.size(), 1u);
  EXPECT_EQ(Utf16ToUtf8(whileRefused[0]), entries[1]);
  EXPECT_TRUE(Slurp(remote.File("upload/first.bin")) == first);
  EXPECT_TRUE(Slurp(remote.File("upload/middle.bin")) == middle);
  EXPECT_TRUE(Slurp(remote.File("upload/last.bin")) == last);
  std::vector<std::string> removed;
  Text text;
  for (int slot = 0; slot < 10; ++slot)
    if (removeRing.Peek(slot, text)) removed.push_back(Utf16ToUtf8(text));
  EXPECT_EQ(removed, (std::vector<std::string>{entries[0], entries[2], entries[1]}));
}

// A 552 after a complete transfer: the server kept nothing, so the entry
// must stay queued.
TEST_F(FaultInjection, DiskFullAfterTheData) {
  ASSERT_TRUE(pyftpd.ok()) << pyftpd.error();
  QueueThree(50000);
  // The server takes every byte, then finds no room to keep them.
  fake.Greet()
      .Login()
      .Pasv()
      .Reply("STOR middle.bin.part", "150 Opening data connection")
      .AcceptData()
      .ReceiveData()
      .CloseData()
      .Send("552 Requested file action aborted. Exceeded storage allocation\r\n")
      // What went behind the data is answered too.
      .Reply("SIZE middle.bin.part", "550 No such file")
      .Reply("RNFR middle.bin.part", "550 No such file")
      .Reply("QUIT", "221 Goodbye")
      .NextClient();
  AcceptUpload();
  RunAndCheck();
  EXPECT_EQ(fake.ControlConnections(), 2);
}

// A file small enough for the socket buffers is "sent" before the server
// cuts the data connection; the 426 that follows is a failure.
TEST_F(FaultInjection, AbortAfterTheDataWasBuffered) {
  ASSERT_TRUE(pyftpd.ok()) << pyftpd.error();
  QueueThree(60000);
  fake.Greet()
      .Login()
      .Pasv()
      .Reply("STOR middle.bin.part", "150 Opening data connection")
      .AcceptData()
      .ReceiveData(20000)
      .CloseData()
      .Send("426 Connection closed; transfer aborted\r\n")
      // What went behind the data is answered too.
      .Reply("SIZE middle.bin.part", "550 No such file")
      .Reply("RNFR middle.bin.part", "550 No such file")
      .Reply("QUIT", "221 Goodbye")
      .NextClient();
  AcceptUpload();
  RunAndCheck();
}

}  // namespace
}  // namespace wexmoor
