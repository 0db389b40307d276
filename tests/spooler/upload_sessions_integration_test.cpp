// The worker's sessions against scripted servers: what a kept session sends
// and leaves out, dead and refused sessions, parallel sessions stopped or
// gone silent.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "peers/fake_ftp_server.h"
#include "peers/multi_ftp_server.h"
#include "peers/test_paths.h"
#include "peers/worker_rig.h"
#include "spooler/spooler_test_support.h"
#include "spooler/upload_worker.h"
#include "support/silent_worker_display.h"

namespace wexmoor {
namespace {

using testing::FakeFtpServer;
using testing::MultiFtpServer;
using testing::T;
using testing::TempFolder;
using testing::WriteFile;

template <typename Predicate>
bool WaitFor(Predicate done, int ms = 20000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

using QuietDisplay = testing::SilentWorkerDisplay;

class UploadSessions : public ::testing::Test, public testing::WorkerRig {
 protected:
  void SetServer(int port, int connections, const Text& address = u"127.0.0.1") {
    ServerRecord record;
    record.name = u"srv";
    record.address = address;
    record.login = u"user";
    record.password = u"secret";
    record.port = port;
    record.timeOut = 5000;
    record.connections = connections;
    record.tempName = 0;  // these tests follow the sessions, not the parts
    servers.Set(1, record);
  }
  // A local file `name` of `size` bytes, queued for `subfolder`.
  std::string Queue(const std::string& name, const std::string& subfolder, std::size_t size = 1000) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 31 + name.size()) % 26);
    WriteFile(local.File(name), bytes);
    queue.Append(T(local.File(name) + "|srv|" + subfolder));
    return bytes;
  }
  std::vector<std::string> Removed() const {
    std::vector<std::string> names;
    Text text;
    for (int slot = 0; slot < 100; ++slot)
      if (removeRing.Peek(slot, text)) names.push_back(Utf16ToUtf8(FileNamePart(EntryLocalPath(text))));
    return names;
  }

  TempFolder local;
  QuietDisplay display;
  // Silence limits are measured on the system's clock here, not the rig's
  // driven one.
  SystemClock realClock;
  WorkerContext context{queue, servers, removeRing, flags, history, session, realClock, display};
};

// One upload on the scripted server: PASV, STOR, data, 226, and a SIZE the
// server does not know (so nothing is compared).
void ScriptUpload(FakeFtpServer& server, const std::string& name) {
  server.Pasv().Reply("STOR " + name, "150 go").AcceptData().ReceiveData().CloseData().Send("226 done\r\n")
      .Reply("SIZE " + name, "502 not implemented");
}

TEST_F(UploadSessions, KeptSessionLogsInOnceAndChangesFolderOnlyWhenItDiffers) {
  FakeFtpServer fake;
  // Every command must come exactly in this order: no second USER, PASS or
  // TYPE, no CWD between entries of one folder.
  fake.Greet().Login().Reply("CWD up", "250 ok").Reply("CWD sub", "250 ok");
  ScriptUpload(fake, "f1");
  ScriptUpload(fake, "f2");
  // Another folder: the login folder is asked once, then one absolute CWD;
  // a missing folder is made from the login folder down.
  fake.Reply("PWD", "257 \"/home/up/sub\" is current")
      .Reply("CWD /home/up/other", "550 no such folder")
      .Reply("CWD /home", "250 ok")
      .Reply("CWD up", "250 ok")
      .Reply("CWD other", "550 no such folder")
      .Reply("MKD other", "257 made")
      .Reply("CWD other", "250 ok");
  ScriptUpload(fake, "f3");
  fake.Reply("CWD /home/up/sub", "250 ok");
  ScriptUpload(fake, "f4");
  fake.Reply("QUIT", "221 bye");
  fake.Start();
  SetServer(fake.port(), 1, u"127.0.0.1/up");
  std::string all = Queue("f1", "sub");
  all += Queue("f2", "sub");
  all += Queue("f3", "other");
  all += Queue("f4", "sub");
  UploadWorker worker(context);
  worker.Start();
  ASSERT_TRUE(WaitFor([&] { return queue.Size() == 0; })) << Utf16ToUtf8(history.Get());
  EXPECT_EQ(worker.SessionCount(), 1);  // still logged in, waiting for more
  worker.Terminate();
  ASSERT_TRUE(fake.WaitFinished(3000));  // the goodbye came at the end
  EXPECT_TRUE(fake.Problems().empty()) << fake.Problems().front();
  EXPECT_EQ(fake.ControlConnections(), 1);
  EXPECT_EQ(fake.DataReceived(), all);
  EXPECT_EQ(Removed(), (std::vector<std::string>{"f1", "f2", "f3", "f4"}));
  // Each entry's exchange is in the history, the login in the first one's.
  const Text h = history.Get();
  EXPECT_LT(h.find(u"<--->USER user"), h.find(u"<--->STOR f1"));
  EXPECT_NE(h.find(u"<--->STOR f4"), Text::npos);
}

TEST_F(UploadSessions, ServerClosingTheKeptSessionCostsOneRetryNotAFailure) {
  FakeFtpServer fake;
  fake.Greet().Login();
  ScriptUpload(fake, "f1");
  fake.Close().NextClient().Greet().Login();
  ScriptUpload(fake, "f2");
  ScriptUpload(fake, "f3");
  fake.Reply("QUIT", "221 bye");
  fake.Start();
  SetServer(fake.port(), 1);
  std::string all;
  for (const std::string name : {"f1", "f2", "f3"}) all += Queue(name, "");
  UploadWorker worker(context);
  worker.Start();
  ASSERT_TRUE(WaitFor([&] { return queue.Size() == 0; })) << Utf16ToUtf8(history.Get());
  worker.Terminate();
  EXPECT_TRUE(fake.Problems().empty()) << fake.Problems().front();
  EXPECT_EQ(fake.ControlConnections(), 2);
  EXPECT_EQ(fake.DataReceived(), all);
  // A failed f2 would have waited for the next pass, after f3.
  EXPECT_EQ(Removed(), (std::vector<std::string>{"f1", "f2", "f3"}));
}

TEST_F(UploadSessions, RefusedSecondConnectionLeavesOneSessionAndNoFailedEntry) {
  MultiFtpServer server;
  server.greeting = [](int n) { return n == 2 ? std::string("421 Too many connections") : std::string(); };
  SetServer(server.port(), 2);
  std::map<std::string, std::string> sent;
  for (const std::string name : {"f1", "f2", "f3", "f4", "f5"}) sent["/home/" + name] = Queue(name, "");
  UploadWorker worker(context);
  worker.Start();
  ASSERT_TRUE(WaitFor([&] { return queue.Size() == 0; })) << Utf16ToUtf8(history.Get());
  EXPECT_EQ(worker.SessionCount(), 1);
  worker.Terminate();
  EXPECT_TRUE(server.Files() == sent);
  for (const auto& [path, bytes] : sent) EXPECT_EQ(server.StoreCount(path), 1) << path;
  // The server keeps the one session it took; no further connection is tried.
  EXPECT_EQ(server.Connections(), 2);
  const Text h = history.Get();
  const std::size_t said = h.find(u"srv takes no further connection: going on with 1");
  ASSERT_NE(said, Text::npos) << Utf16ToUtf8(h);
  EXPECT_EQ(h.find(u"takes no further connection", said + 30), Text::npos);
}

TEST_F(UploadSessions, StopDuringParallelTransfersEndsEverySessionWithinASecond) {
  MultiFtpServer server;
  server.stallStore = [](const std::string&, int) { return true; };
  SetServer(server.port(), 3);
  const int descriptorsBefore = OpenDescriptors();
  for (const std::string name : {"big1", "big2", "big3", "big4"}) Queue(name, "", 8u << 20);
  auto worker = std::make_unique<UploadWorker>(context);
  worker->Start();
  ASSERT_TRUE(WaitFor([&] { return server.StoresInProgress() == 3; })) << Utf16ToUtf8(history.Get());
  const std::int64_t started = NowMs();
  worker->Terminate();
  EXPECT_LT(NowMs() - started, 1000);
  EXPECT_FALSE(worker->Running());
  EXPECT_EQ(worker->SessionCount(), 0);
  worker.reset();
  // The server closes its end only once the client's end is closed.
  EXPECT_TRUE(WaitFor([&] { return server.OpenSockets() == 0; }, 3000)) << server.OpenSockets() << " left";
  EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
  EXPECT_EQ(queue.Size(), 4);
}

TEST_F(UploadSessions, SilentSessionIsReplacedAloneWhileTheOtherGoesOn) {
  MultiFtpServer server;
  // The first try of slow.bin takes the data and never answers.
  server.stallStore = [](const std::string& path, int attempt) { return path == "/home/slow.bin" && attempt == 1; };
  SetServer(server.port(), 2);
  ServerRecord record = servers.Get(1);
  record.timeOut = 60000;  // the engine's own time-out must not come first
  servers.Set(1, record);
  std::map<std::string, std::string> sent;
  sent["/home/slow.bin"] = Queue("slow.bin", "");
  for (const std::string name : {"f1", "f2", "f3", "f4"}) sent["/home/" + name] = Queue(name, "");
  UploadWorker worker(context);
  worker.SetSessionSilenceLimit(1500);
  worker.Start();
  ASSERT_TRUE(WaitFor([&] { return queue.Size() == 0; })) << Utf16ToUtf8(history.Get());
  worker.Terminate();
  EXPECT_EQ(worker.SilentSessionsReplaced(), 1);
  EXPECT_TRUE(server.Files() == sent);
  EXPECT_EQ(server.StoreCount("/home/slow.bin"), 2);
  // The other session uploaded f1 to f4 on its one login, untouched.
  int fastConnection = 0;
  for (int n = 1; n <= server.Connections(); ++n) {
    const auto commands = server.Commands(n);
    if (std::find(commands.begin(), commands.end(), "STOR f1") != commands.end()) fastConnection = n;
  }
  ASSERT_NE(fastConnection, 0);
  const auto commands = server.Commands(fastConnection);
  for (const std::string name : {"STOR f2", "STOR f3", "STOR f4"})
    EXPECT_NE(std::find(commands.begin(), commands.end(), name), commands.end()) << name;
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "USER user"), 1);
}

// Two entries for one remote path ("a/IMG_1.JPG" and "b/IMG_1.JPG" into one
// folder): while the first is in flight (here stalled until its session is
// replaced), the second waits, even with a free connection; other names go on.
TEST_F(UploadSessions, OneUploadAtATimeToOneRemotePath) {
  MultiFtpServer server;
  server.stallStore = [](const std::string& path, int attempt) { return path == "/home/IMG_1.JPG" && attempt == 1; };
  SetServer(server.port(), 3);
  ServerRecord record = servers.Get(1);
  record.timeOut = 60000;
  servers.Set(1, record);
  std::filesystem::create_directories(local.File("a"));
  std::filesystem::create_directories(local.File("b"));
  const std::string first = Queue("a/IMG_1.JPG", "", 300'000);
  const std::string second = Queue("b/IMG_1.JPG", "", 200'000);
  Queue("other.jpg", "");
  UploadWorker worker(context);
  worker.SetSessionSilenceLimit(1500);
  worker.Start();
  int storesWhileStalled = 0;
  const bool emptied = WaitFor([&] {
    const int stores = server.StoreCount("/home/IMG_1.JPG");
    if (worker.SilentSessionsReplaced() == 0) storesWhileStalled = std::max(storesWhileStalled, stores);
    return queue.Size() == 0;
  });
  worker.Terminate();
  ASSERT_TRUE(emptied) << Utf16ToUtf8(history.Get());
  EXPECT_EQ(worker.SilentSessionsReplaced(), 1);
  EXPECT_EQ(storesWhileStalled, 1) << "a second store of the same path began beside the first";
  EXPECT_EQ(server.StoreCount("/home/IMG_1.JPG"), 3);
  EXPECT_EQ(server.StoreCount("/home/other.jpg"), 1);
  EXPECT_TRUE(server.Files().at("/home/IMG_1.JPG") == first || server.Files().at("/home/IMG_1.JPG") == second);
  EXPECT_EQ(Removed().size(), 3u);
}

}  // namespace
}  // namespace wexmoor
