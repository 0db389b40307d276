// The worker against real servers: 500 files in nested folders, with one and
// with four sessions; every file arrives byte-identical and is stored once.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"
#include "peers/vsftpd_fixture.h"
#include "peers/worker_rig.h"
#include "spooler/spooler_test_support.h"
#include "spooler/upload_worker.h"
#include "support/silent_worker_display.h"

namespace wexmoor {
namespace {

using testing::ReadFile;
using testing::T;
using testing::TempFolder;
using testing::WriteFile;

using QuietDisplay = testing::SilentWorkerDisplay;

struct Case {
  const char* server;
  int connections;
};

class RealServerUploads : public ::testing::TestWithParam<Case>, public testing::WorkerRig {};

TEST_P(RealServerUploads, FiveHundredNestedFilesArriveWholeAndOnce) {
  const Case c = GetParam();
  TempFolder local, remoteParent;
  const std::string root = remoteParent.File("root");
  std::filesystem::create_directories(root);
  const std::string storLog = remoteParent.File("stores.log");
  std::unique_ptr<testing::PyFtpdServer> pyftpd;
  std::unique_ptr<testing::VsftpdServer> vsftpd;
  ServerRecord record;
  record.name = u"srv";
  record.address = u"127.0.0.1/site";
  record.timeOut = 10000;
  record.connections = c.connections;
  if (std::string(c.server) == "pyftpdlib") {
    pyftpd = std::make_unique<testing::PyFtpdServer>(root, "user", "secret", storLog);
    ASSERT_TRUE(pyftpd->ok()) << pyftpd->error();
    record.port = pyftpd->port();
    record.login = u"user";
    record.password = u"secret";
  } else {
    vsftpd = std::make_unique<testing::VsftpdServer>(root);
    if (!vsftpd->ok()) GTEST_SKIP() << vsftpd->error();
    record.port = vsftpd->port();
    record.login = T(vsftpd->user());
    record.password = T(vsftpd->password());
  }
  servers.Set(1, record);

  // 5 folders of 4 subfolders of 25 files, 1 byte to 40 KiB.
  std::mt19937 random(7);
  std::map<std::string, std::string> files;  // path below the site -> bytes
  for (int a = 0; a < 5; ++a) {
    for (int b = 0; b < 4; ++b) {
      const std::string sub = std::string("d").append(std::to_string(a)).append("/e").append(std::to_string(b));
      std::filesystem::create_directories(local.File(sub));
      for (int i = 0; i < 25; ++i) {
        std::string bytes(1 + random() % 40960, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random());
        const std::string name = sub + "/f" + std::to_string(i) + ".bin";
        WriteFile(local.File(name), bytes);
        files[name] = bytes;
        queue.Append(T(local.File(name) + "|srv|" + sub));
      }
    }
  }
  QuietDisplay display;
  WorkerContext context{queue, servers, removeRing, flags, history, session, clock, display};
  UploadWorker worker(context);
  worker.Start();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(240);
  while (queue.Size() > 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  worker.Terminate();
  ASSERT_EQ(queue.Size(), 0) << Utf16ToUtf8(history.Get()).substr(0, 3000);

  std::map<std::string, int> stores;
  if (pyftpd) {
    std::ifstream log(storLog);
    std::string line;
    while (std::getline(log, line)) ++stores[line];
  }
  int wrong = 0;
  for (const auto& [name, bytes] : files) {
    const std::string path = root + "/site/" + name;
    // Stored under the temporary name, then renamed.
    const std::string part = path + ".part";
    const int stored = pyftpd ? stores[path] + stores[part] : vsftpd->StoreCount(path) + vsftpd->StoreCount(part);
    if (ReadFile(path) != bytes || stored != 1) {
      if (++wrong <= 5) ADD_FAILURE() << name << ": stored " << stored << " times, bytes equal: " << (ReadFile(path) == bytes);
    }
  }
  EXPECT_EQ(wrong, 0);
}

// Names as the user sees them, over the default settings ("ServerUseUTF8" 0):
// each arrives under its own name (no "?" that makes three names one, no cut
// at a quote), byte-identical.
TEST_P(RealServerUploads, NamesArriveAsTheyAre) {
  const Case c = GetParam();
  TempFolder local, remoteParent;
  const std::string root = remoteParent.File("root");
  std::filesystem::create_directories(root);
  std::unique_ptr<testing::PyFtpdServer> pyftpd;
  std::unique_ptr<testing::VsftpdServer> vsftpd;
  ServerRecord record;
  record.name = u"srv";
  record.address = u"127.0.0.1/site";
  record.timeOut = 10000;
  record.connections = c.connections;
  if (std::string(c.server) == "pyftpdlib") {
    pyftpd = std::make_unique<testing::PyFtpdServer>(root, "user", "secret", remoteParent.File("stores.log"));
    ASSERT_TRUE(pyftpd->ok()) << pyftpd->error();
    record.port = pyftpd->port();
    record.login = u"user";
    record.password = u"secret";
  } else {
    vsftpd = std::make_unique<testing::VsftpdServer>(root);
    if (!vsftpd->ok()) GTEST_SKIP() << vsftpd->error();
    record.port = vsftpd->port();
    record.login = T(vsftpd->user());
    record.password = T(vsftpd->password());
  }
  ASSERT_EQ(record.useUtf8, 0);
  servers.Set(1, record);
  const std::vector<std::string> names = {
      "\u041f\u0440\u0438\u0432\u0435\u0442.txt", "\u041c\u043e\u0441\u043a\u0432\u0430.txt",
      "\u0411\u0435\u0440\u043b\u0438\u043d.txt", "\u6771\u4eac\u306e\u5199\u771f.jpg",
      "c \u00e9.txt", "\u00c5ngstr\u00f6m \u00fcber.txt", "Report \"A\".pdf", "Report \"B\".pdf", "back\\slash.txt"};
  std::map<std::string, std::string> files;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string bytes = names[i] + " " + std::string(100 + i * 37, static_cast<char>('a' + i));
    WriteFile(local.File(names[i]), bytes);
    files[names[i]] = bytes;
    queue.Append(T(local.File(names[i]) + "|srv|"));
  }
  QuietDisplay display;
  WorkerContext context{queue, servers, removeRing, flags, history, session, clock, display};
  UploadWorker worker(context);
  worker.Start();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (queue.Size() > 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  worker.Terminate();
  ASSERT_EQ(queue.Size(), 0) << Utf16ToUtf8(history.Get()).substr(0, 3000);
  std::size_t onServer = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root + "/site")) {
    (void)entry;
    ++onServer;
  }
  EXPECT_EQ(onServer, names.size());
  for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFile(root + "/site/" + name), bytes) << name;
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerUploads,
                         ::testing::Values(Case{"pyftpdlib", 1}, Case{"pyftpdlib", 4}, Case{"vsftpd", 1},
                                           Case{"vsftpd", 4}),
                         [](const auto& info) {
                           return std::string(info.param.server) + "_" + std::to_string(info.param.connections);
                         });

}  // namespace
}  // namespace wexmoor
