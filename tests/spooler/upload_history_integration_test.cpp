// The worker's results reach the upload history: sent with its size, time,
// check and link; a failure with its reason; a dropped entry.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "peers/loopback_port.h"
#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"
#include "peers/worker_rig.h"
#include "platform/code_page.h"
#include "spooler/upload_history.h"
#include "spooler/upload_worker.h"
#include "spooler/spooler_test_support.h"
#include "support/recording_worker_display.h"
#include "support/wait_for.h"

namespace wexmoor {
namespace {

using testing::T;
using testing::TempFolder;
using testing::WaitFor;
using testing::WriteFile;

ServerRecord Server(const Text& name, int port) {
  ServerRecord record;
  record.name = name;
  record.address = u"127.0.0.1/up";
  record.login = u"user";
  record.password = u"secret";
  record.port = port;
  record.timeOut = 10000;
  record.connections = 1;
  record.webAddress = u"http://127.0.0.1:8000/site";
  return record;
}

TEST(UploadHistoryWorker, SentFailedAndDroppedResultsEachGetALine) {
  testing::WorkerRig rig;
  TempFolder remote, local, state;
  testing::PyFtpdServer ftp(remote.path());
  ASSERT_TRUE(ftp.ok()) << ftp.error();
  rig.servers.Set(1, Server(u"good", ftp.port()));
  rig.servers.Set(2, Server(u"dead", testing::FreeLoopbackPort()));  // nobody listens
  std::filesystem::create_directories(local.File("d"));
  WriteFile(local.File("d/a b.txt"), "twelve bytes");
  const std::string file = local.File("d/a b.txt");
  UploadHistory history(T(state.File("Wexmoor.history")));
  testing::RecordingWorkerDisplay display;
  WorkerContext context{rig.queue, rig.servers, rig.removeRing, rig.flags, rig.history, rig.session, rig.clock,
                        display};
  context.recorder = &history;
  rig.queue.Append(T(file + "|good|x/ü"));
  rig.queue.Append(T(file + "|dead|"));
  rig.queue.Append(T(file + "|gone|"));
  UploadWorker worker(context);
  worker.Start();
  ASSERT_TRUE(WaitFor([&] { return LastHistoryLines(history.Path(), 10).size() >= 3; }));
  worker.Terminate();

  std::map<std::string, HistoryRow> byServer;
  for (const std::string& line : LastHistoryLines(history.Path(), 10)) {
    auto row = ParseHistoryLine(line);
    ASSERT_TRUE(row.has_value()) << line;
    byServer.emplace(Utf16ToUtf8(row->server), *row);
  }
  ASSERT_EQ(byServer.count("good"), 1u);
  const HistoryRow& sent = byServer.at("good");
  EXPECT_EQ(sent.result, u"sent");
  EXPECT_EQ(sent.localPath, T(file));
  EXPECT_EQ(sent.remotePath, u"up/x/ü/a b.txt");
  EXPECT_EQ(sent.size, u"12");
  EXPECT_NE(sent.seconds, u"-");
  EXPECT_EQ(sent.verification, u"size");
  EXPECT_EQ(sent.link, u"http://127.0.0.1:8000/site/x/%C3%BC/a%20b.txt");
  ASSERT_EQ(byServer.count("dead"), 1u);
  EXPECT_TRUE(byServer.at("dead").result.starts_with(u"failed: ")) << Utf16ToUtf8(byServer.at("dead").result);
  EXPECT_EQ(byServer.at("dead").link, u"-");
  ASSERT_EQ(byServer.count("gone"), 1u);
  EXPECT_EQ(byServer.at("gone").result, u"dropped: no server named gone");
  EXPECT_TRUE(history.Healthy());
}

}  // namespace
}  // namespace wexmoor
