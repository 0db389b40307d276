#include "spooler/upload_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "peers/fake_ftp_server.h"
#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"
#include "peers/worker_rig.h"
#include "spooler/spooler_test_support.h"
#include "support/wait_for.h"
#include "support/recording_worker_display.h"

namespace wexmoor {
namespace {

using testing::FakeFtpServer;
using testing::PyFtpdServer;
using testing::ReadFile;
using testing::T;
using testing::TempFolder;
using testing::WaitFor;
using testing::WriteFile;


std::vector<std::string> RingTexts(const UiMessageRing& ring) {
  std::vector<std::string> out;
  Text text;
  for (int slot = 0; slot < 50; ++slot)
    if (ring.Peek(slot, text)) out.push_back(Utf16ToUtf8(text));
  return out;
}

class UploadWorkerLoop : public ::testing::Test, public testing::WorkerRig {
 protected:
  UploadWorkerLoop() { SetServer(u"127.0.0.1/upload", ftp.port()); }
  void SetServer(const Text& address, int port) {
    ServerRecord record;
    record.name = u"srv";
    record.address = address;
    record.login = u"user";
    record.password = u"secret";
    record.port = port;
    record.timeOut = 10000;
    record.connections = 1;  // one session: entries go strictly in turn
    servers.Set(1, record);
  }
  std::uint64_t Queue(const std::string& entry) { return *queue.Append(T(entry)); }
  std::string Local(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(local.File(name)).parent_path());
    WriteFile(local.File(name), bytes);
    return local.File(name);
  }
  std::string Remote(const std::string& name) const { return ReadFile(remote.File(name)); }

  TempFolder remote, local;
  PyFtpdServer ftp{remote.path()};
  testing::RecordingWorkerDisplay display;
  WorkerContext context{queue, servers, removeRing, flags, history, session, clock, display};
};

TEST_F(UploadWorkerLoop, FailedEntryStaysAndIsRetriedUntilItGoesThrough) {
  ASSERT_TRUE(ftp.ok()) << ftp.error();
  std::string one = Local("one.txt", "first file\n"), three = Local("three.txt", std::string(5000, 'z'));
  std::string two = local.File("two.txt");  // not there yet: its upload fails
  for (const auto& f : {one, two, three}) Queue(f + "|srv|");
  UploadWorker worker(context);
  worker.Start();
  ASSERT_TRUE(WaitFor([&] { return queue.Size() == 1; }));
  EXPECT_EQ(Utf16ToUtf8(queue.At(0)->text), two + "|srv|");
  EXPECT_EQ(Remote("upload/one.txt"), "first file\n");
  EXPECT_EQ(Remote("upload/three.txt"), std::string(5000, 'z'));
  EXPECT_EQ(RingTexts(removeRing), (std::vector<std::string>{one + "|srv|", three + "|srv|"}));

  WriteFile(two, "second, at last");
  ASSERT_TRUE(WaitFor([&] { return queue.Size() == 0; }));
  EXPECT_EQ(Remote("upload/two.txt"), "second, at last");
  worker.Terminate();
  // The display hears of each upload once; a file not there yet was never tried.
  const auto outcomes = display.Outcomes();
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_EQ(outcomes.back(), std::make_pair(Utf8ToUtf16(two + "|srv|"), true));
  for (const auto& [text, uploaded] : outcomes) EXPECT_TRUE(uploaded) << Utf16ToUtf8(text);
  EXPECT_FALSE(worker.Running());
  EXPECT_EQ(flags.ftpBusy.load(), 0);
  EXPECT_NE(history.Get().find(u"STOR"), Text::npos);
}

TEST_F(UploadWorkerLoop, EntryOfADeletedServerGoesWithoutAnAttempt) {
  std::string file = Local("a.txt", "a");
  Queue(file + "|gone|");
  UploadWorker worker(context);
  worker.Start();
  ASSERT_TRUE(WaitFor([&] { return queue.Size() == 0; }));
  worker.Terminate();
  EXPECT_EQ(RingTexts(removeRing), std::vector<std::string>{file + "|gone|"});
  EXPECT_TRUE(display.Files().empty());
  EXPECT_TRUE(display.Outcomes().empty());  // dropped, never attempted
  EXPECT_TRUE(history.Get().empty());
}

TEST_F(UploadWorkerLoop, DestinationFoldersAndEntryForms) {
  ASSERT_TRUE(ftp.ok()) << ftp.error();
  SetServer(u"127.0.0.1/upload/", ftp.port());
  std::string a = Local("a/same.txt", "from a"), b = Local("b/same.txt", "from b");
  Queue(a + "|srv|one/two");
  Queue(b + "|srv");  // one "|": straight into the server's folder
  history.Append(Text(29990, u'h'));
  UploadWorker worker(context);
  worker.Start();
  ASSERT_TRUE(WaitFor([&] { return queue.Size() == 0; }));
  worker.Terminate();
  EXPECT_EQ(Remote("upload/one/two/same.txt"), "from a");
  EXPECT_EQ(Remote("upload/same.txt"), "from b");
  // Two list items with the same text go in queue order.
  EXPECT_EQ(RingTexts(removeRing), (std::vector<std::string>{a + "|srv|one/two", b + "|srv"}));
  EXPECT_EQ(display.Files(), (std::vector<Text>{u"same.txt", u"same.txt"}));
  Text h = history.Get();
  EXPECT_EQ(h.substr(0, 4), u"...\r");
  // Cut once, after the first upload's log pushed it past 30000; the second
  // entry's log followed whole.
  EXPECT_LT(h.size(), 30000u);
  EXPECT_NE(h.find(u"<--->STOR same.txt", 4 + 20000), Text::npos);
}

TEST_F(UploadWorkerLoop, RemovingTheEntryInUploadRemovesNoOther) {
  std::string file = Local("twin.txt", "twin data");
  FakeFtpServer fake;
  fake.Greet().Login().Pasv().Reply("STOR", "150 go").AcceptData().ReceiveData()
      .Do([&] { queue.RemoveAt(0); })  // the user's "Remove from the list"
      .CloseData().Send("226 done\r\n")
      .Reply("SIZE", "213 9").Reply("RNFR", "350 ready").Reply("RNTO", "250 renamed");
  fake.Start();
  SetServer(u"127.0.0.1", fake.port());
  Queue(file + "|srv|");
  std::uint64_t second = Queue(file + "|srv|");
  UploadWorker worker(context);
  worker.Start();
  // The worker's next turn begins only after the first upload ended.
  ASSERT_TRUE(WaitFor([&] { return display.Files().size() >= 2; }));
  worker.Terminate();
  EXPECT_EQ(fake.DataReceived(), "twin data");
  ASSERT_EQ(queue.Size(), 1);
  EXPECT_EQ(queue.At(0)->id, second);
  EXPECT_TRUE(RingTexts(removeRing).empty());
}


TEST_F(UploadWorkerLoop, TerminationIsQuickWhileWaitingForAGreeting) {
  ASSERT_TRUE(ftp.ok()) << ftp.error();
  FakeFtpServer silent;
  silent.Silence(30000);
  silent.Start();
  SetServer(u"127.0.0.1", silent.port());
  std::string file = Local("late.txt", "late but whole");
  std::uint64_t id = Queue(file + "|srv|");
  {
    UploadWorker worker(context);
    worker.Start();
    ASSERT_TRUE(WaitFor([&] { return silent.ControlConnections() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto before = std::chrono::steady_clock::now();
    worker.Terminate();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    EXPECT_FALSE(worker.Running());
  }
  ASSERT_EQ(queue.Size(), 1);
  EXPECT_EQ(queue.At(0)->id, id);

  SetServer(u"127.0.0.1/upload", ftp.port());
  UploadWorker fresh(context);
  fresh.Start();
  ASSERT_TRUE(WaitFor([&] { return queue.Size() == 0; }));
  fresh.Terminate();
  EXPECT_EQ(Remote("upload/late.txt"), "late but whole");
}

TEST_F(UploadWorkerLoop, TerminationIsQuickInAStalledTransfer) {
  ASSERT_TRUE(ftp.ok()) << ftp.error();
  FakeFtpServer stall;
  // Takes the data connection but never reads from it.
  stall.Greet().Login().Pasv().Reply("STOR", "150 go").AcceptData().Silence(30000);
  stall.Start();
  SetServer(u"127.0.0.1", stall.port());
  std::string big(24 << 20, 'b');
  for (std::size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>(i / 4096);
  std::string file = Local("big.bin", big);
  std::uint64_t id = Queue(file + "|srv|");
  {
    UploadWorker worker(context);
    worker.Start();
    ASSERT_TRUE(WaitFor([&] {
      for (const auto& c : stall.Commands())
        if (c.starts_with("STOR")) return true;
      return false;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto before = std::chrono::steady_clock::now();
    worker.Terminate();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
  }
  ASSERT_EQ(queue.Size(), 1);
  EXPECT_EQ(queue.At(0)->id, id);

  SetServer(u"127.0.0.1/upload", ftp.port());
  UploadWorker fresh(context);
  fresh.Start();
  ASSERT_TRUE(WaitFor([&] { return queue.Size() == 0; }, std::chrono::milliseconds(60000)));
  fresh.Terminate();
  EXPECT_TRUE(Remote("upload/big.bin") == big);
}

}  // namespace
}  // namespace wexmoor
