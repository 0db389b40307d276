#include <chrono>
#include <memory>
#include <thread>

#include "ftp/engine_fixture.h"
#include "ftp/file_upload.h"
#include "ftp/remote_session.h"
#include "peers/test_paths.h"
#include "platform/files.h"

namespace wexmoor::testing {
namespace {

using Clock = std::chrono::steady_clock;

// Counts the process's open descriptors (sockets included).
int OpenDescriptors() {
  const auto entries = ListFolder(u"/proc/self/fd");
  return entries ? static_cast<int>(entries->size()) : -1;
}

// Each test runs its own server and ends it before counting descriptors, so
// that only the engine's sockets can make a difference.
TEST_F(EngineTest, StopWhileWaitingForAGreetingEndsQuicklyAndClosesTheSocket) {
  const int before = OpenDescriptors();
  auto silent = std::make_unique<FakeFtpServer>();  // accepts, never says a word
  silent->Start();
  ServerRecord record = Record(30000);
  record.port = silent->port();
  std::stop_source stop;
  session.SetStopToken(stop.get_token());
  Text result;
  std::jthread worker([&] { result = OpenRemoteSession(session, record, 0, 0, nullptr); });
  while (silent->ControlConnections() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto asked = Clock::now();
  stop.request_stop();
  worker.join();
  EXPECT_LT(Clock::now() - asked, std::chrono::seconds(1));
  EXPECT_TRUE(result.starts_with(u"!!"));
  EXPECT_EQ(session.controlConnection(), 0);
  EXPECT_TRUE(silent->WaitClientGone(3000));  // the server saw the connection close
  silent.reset();
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(EngineTest, StopDuringAStalledTransferEndsQuicklyAndClosesTheSockets) {
  TempFolder folder;
  const Text path = Utf8ToUtf16(folder.File("big.bin"));
  constexpr std::size_t kSize = 48u << 20;
  ASSERT_TRUE(WriteWholeFile(path, std::string(kSize, 'z')));
  const int before = OpenDescriptors();
  // The server takes the data connection but never reads it, so the socket
  // buffers fill and the upload waits for room.
  auto stalling = std::make_unique<FakeFtpServer>();
  stalling->Greet().Login().Pasv().Reply("STOR", "150 go").AcceptData().Silence(60000);
  stalling->Start();
  ServerRecord record = Record(30000);
  record.port = stalling->port();
  ASSERT_TRUE(LogIn(record));
  std::stop_source stop;
  session.SetStopToken(stop.get_token());
  int result = 0;
  std::jthread worker([&] { result = UploadFile(session, session.controlConnection(), record, path, nullptr, &status); });
  // Wait until the sending has stalled: the status line stops moving.
  std::string lastShown;
  for (int i = 0; i < 100; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    const std::vector<std::string> shown = status.Lines();
    const std::string now = shown.empty() ? "" : shown.back();
    if (now.find(" / ") != std::string::npos && now == lastShown) break;
    lastShown = now;
  }
  const auto asked = Clock::now();
  stop.request_stop();
  worker.join();
  EXPECT_LT(Clock::now() - asked, std::chrono::seconds(1));
  EXPECT_EQ(result, -1);
  EXPECT_EQ(session.controlConnection(), 0);
  EXPECT_EQ(session.dataConnection, 0);
  EXPECT_LT(session.bytesSent, static_cast<std::int64_t>(kSize));
  EXPECT_NE(Utf16ToUtf8(session.Log().Get()).find("!!--- Data send error"), std::string::npos);
  stalling.reset();
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace wexmoor::testing
