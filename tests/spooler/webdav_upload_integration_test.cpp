// The worker's WebDAV sessions against real servers (Apache mod_dav over
// HTTP and HTTPS, lighttpd mod_webdav): files in nested new folders with two
// sessions while an observer watches the served folder, a wrong password,
// and a certificate not trusted yet.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "ftp/certificate_check.h"
#include "ftp/ftp_session.h"
#include "ftp/listener_ports.h"
#include "peers/dav_server_fixture.h"
#include "peers/tcp_relay.h"
#include "peers/test_paths.h"
#include "peers/worker_rig.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "spooler/upload_worker.h"
#include "support/wait_for.h"
#include "support/file_bytes.h"
#include "support/progress_trigger_display.h"

namespace wexmoor {
namespace {

namespace fs = std::filesystem;
using testing::DavServer;
using testing::TempFolder;
using Kind = DavServer::Kind;

using Display = testing::ProgressTriggerDisplay;
using testing::RandomBytes;
using testing::ReadSentBytes;

class Asker : public CertificateTrustAsker {
 public:
  void AskTrust(const Text& serverName, const CertificateSummary& summary, bool changed) override {
    std::lock_guard lock(mutex);
    asked.push_back({serverName, summary.fingerprint, changed});
  }
  struct Question {
    Text server;
    Text fingerprint;
    bool changed;
  };
  std::mutex mutex;
  std::vector<Question> asked;
};

class WebDavUploads : public ::testing::TestWithParam<Kind>, public testing::RealTimeWorkerRig {
 protected:
  void SetUp() override {
    if (!DavServer::available(GetParam())) GTEST_SKIP() << "the server is not installed";
    server = std::make_unique<DavServer>(GetParam());
    ASSERT_TRUE(server->ok()) << server->error();
  }

  ServerRecord Record() const {
    ServerRecord record;
    record.name = u"dav";
    record.address = u"127.0.0.1/drop/box";
    record.port = server->port();
    record.protocol = server->tls() ? kProtocolWebDavHttps : kProtocolWebDavHttp;
    record.login = Utf8ToUtf16(server->user());
    record.password = Utf8ToUtf16(server->password());
    record.fingerprint = Utf8ToUtf16(server->fingerprint());
    record.timeOut = 10;
    record.connections = 2;
    return record;
  }

  std::string Queue(const std::string& name, const std::string& bytes, const std::string& subfolder = {}) {
    const std::string path = local.File(name);
    fs::create_directories(fs::path(path).parent_path());
    EXPECT_TRUE(WriteWholeFile(Utf8ToUtf16(path), bytes));
    queue.Append(Utf8ToUtf16(path + "|dav|" + subfolder));
    return path;
  }

  // Runs the worker until `done` (or an empty queue), at most `seconds`.
  void Run(int seconds, const std::function<bool()>& done = {}) {
    session.trustAsker = &asker;
    WorkerContext context{queue, servers, removeRing, flags, history, session, clock, display};
    UploadWorker worker(context);
    worker.Start();
    const std::function<bool()> empty = [this] { return queue.Size() == 0; };
    testing::WaitFor(done ? done : empty, std::chrono::seconds(seconds));
    worker.Terminate();
  }

  std::string History() const { return Utf16ToUtf8(history.Get()); }

  std::unique_ptr<DavServer> server;
  TempFolder local;
  Display display;
  Asker asker;
};

TEST_P(WebDavUploads, NestedFilesArriveWholeAndNoFinalNameEverShowsAPart) {
  servers.Set(1, Record());
  std::mt19937 random(7);
  std::map<std::string, std::string> expected;  // path below the served folder -> bytes
  constexpr int kFiles = 200;
  for (int i = 0; i < kFiles; ++i) {
    const std::string folder = "y" + std::to_string(i % 4) + "/m" + std::to_string(i % 7) + "/";
    const std::string name = "f " + std::to_string(i) + ".bin";
    const std::string bytes = RandomBytes(1000 + (i * 97) % 9000, random);
    Queue("src/" + std::to_string(i) + "/" + name, bytes, folder);
    expected["drop/box/" + folder + name] = bytes;
  }
  // Polls the served folder: a final name must only ever show its whole file.
  std::atomic<bool> watching{true};
  std::atomic<int> partialSeen{0}, polls{0};
  std::thread observer([&] {
    while (watching) {
      std::error_code error;
      for (auto it = fs::recursive_directory_iterator(server->root(), error); !error && it != fs::end(it);
           it.increment(error)) {
        const std::string relative = it->path().string().substr(server->root().size() + 1);
        const auto found = expected.find(relative);
        if (found == expected.end()) continue;
        std::error_code sizeError;
        const auto size = fs::file_size(it->path(), sizeError);
        if (!sizeError && size != found->second.size()) partialSeen++;
      }
      polls++;
    }
  });
  Run(240);
  watching = false;
  observer.join();
  ASSERT_EQ(queue.Size(), 0) << History().substr(0, 4000);
  for (const auto& [path, bytes] : expected) {
    EXPECT_TRUE(ReadSentBytes(server->root() + "/" + path) == bytes) << path;
    EXPECT_FALSE(fs::exists(server->root() + "/" + path + ".part")) << path;
  }
  EXPECT_EQ(partialSeen.load(), 0);
  EXPECT_GT(polls.load(), 1);
  // Over TLS, Apache offers HTTP/2 and every request takes it.
  if (GetParam() == Kind::kApacheHttps) {
    std::istringstream lines(server->AccessLog());
    int puts = 0;
    for (std::string line; std::getline(lines, line);) {
      EXPECT_NE(line.find(" HTTP/2.0 "), std::string::npos) << line;
      puts += line.starts_with("PUT ") ? 1 : 0;
    }
    EXPECT_GE(puts, kFiles);
  }
}

TEST_P(WebDavUploads, AWrongPasswordIsOneRefusedLoginPerWait) {
  ServerRecord record = Record();
  record.password = u"wrong-password";
  servers.Set(1, record);
  Queue("a.txt", "content");
  // The first retry wait is 5 s: within 3 s, one attempt.
  Run(3, [] { return false; });
  EXPECT_EQ(queue.Size(), 1);
  EXPECT_NE(History().find("password problem"), std::string::npos) << History();
  EXPECT_EQ(History().find("wrong-password"), std::string::npos);
  // One request, the login with it (a server may write its log late); over
  // HTTP/2 the same request once more where its refusal was lost with a reset
  // stream.
  EXPECT_TRUE(testing::WaitFor([this] { return server->RequestCount() >= 1; }));
  const bool askedAgain = History().find("asked again over HTTP/1.1") != std::string::npos;
  EXPECT_EQ(server->RequestCount(), askedAgain ? 2 : 1) << History();
}

TEST_P(WebDavUploads, AFileCutInTheMiddleIsSentAgainWhole) {
  testing::TcpRelay relay(server->port());
  ServerRecord record = Record();
  record.port = relay.port();
  servers.Set(1, record);
  std::mt19937 random(11);
  const std::string bytes = RandomBytes(6 << 20, random);
  Queue("cut.bin", bytes, "in/");
  // Cut while the file goes; with nothing to resume, the next attempt starts at 0.
  display.At(40, [&] {
    relay.Cut();
    testing::WaitFor([&] { return relay.cutsDone() > 0; });
  });
  Run(60);
  ASSERT_EQ(queue.Size(), 0) << History();
  EXPECT_TRUE(ReadSentBytes(server->root() + "/drop/box/in/cut.bin") == bytes);
  EXPECT_FALSE(fs::exists(server->root() + "/drop/box/in/cut.bin.part"));
  EXPECT_GE(relay.accepted(), 2);
}

INSTANTIATE_TEST_SUITE_P(Servers, WebDavUploads, ::testing::Values(Kind::kApacheHttp, Kind::kApacheHttps, Kind::kLighttpd),
                         [](const auto& info) {
                           switch (info.param) {
                             case Kind::kApacheHttp: return std::string("ApacheHttp");
                             case Kind::kApacheHttps: return std::string("ApacheHttps");
                             default: return std::string("Lighttpd");
                           }
                         });

// Apache with its limits: what one file meets stays that file's.
class WebDavLimits : public WebDavUploads {
 protected:
  void SetUp() override {
    if (!DavServer::available(Kind::kApacheHttp)) GTEST_SKIP() << "needs apache2";
  }
  void Start(DavServer::Limits limits) {
    server = std::make_unique<DavServer>(Kind::kApacheHttp, limits);
    ASSERT_TRUE(server->ok()) << server->error();
  }
};

TEST_F(WebDavLimits, ATooLargeFileFailsAloneWithTheServersWordsAndTheOthersGo) {
  Start({.limitBody = 50'000});
  servers.Set(1, Record());
  std::mt19937 random(3);
  const std::string small = RandomBytes(1000, random);
  Queue("big.bin", RandomBytes(60'000, random));
  Queue("small.bin", small);
  Run(20, [this] { return queue.Size() == 1; });
  ASSERT_EQ(queue.Size(), 1) << History();
  EXPECT_NE(Utf16ToUtf8(queue.Texts().front()).find("big.bin"), std::string::npos);
  EXPECT_EQ(ReadSentBytes(server->root() + "/drop/box/small.bin"), small);
  EXPECT_NE(History().find("413"), std::string::npos) << History();
  EXPECT_FALSE(fs::exists(server->root() + "/drop/box/big.bin"));
}

TEST_F(WebDavLimits, WhereMoveIsRefusedFilesGoUnderTheirFinalNames) {
  Start({.refuseMove = true});
  servers.Set(1, Record());
  Queue("a.txt", "first");
  Queue("b.txt", "second");
  Run(30);
  ASSERT_EQ(queue.Size(), 0) << History();
  EXPECT_EQ(ReadSentBytes(server->root() + "/drop/box/a.txt"), "first");
  EXPECT_EQ(ReadSentBytes(server->root() + "/drop/box/b.txt"), "second");
  EXPECT_NE(History().find("refuses MOVE"), std::string::npos) << History();
}

class WebDavTrust : public WebDavUploads {};

TEST_P(WebDavTrust, AnUnknownCertificateIsAskedAboutAndTakenOnceItsFingerprintIsStored) {
  ServerRecord record = Record();
  record.fingerprint.clear();
  servers.Set(1, record);
  const std::string path = Queue("t.txt", "trusted later");
  Run(10, [this] {
    std::lock_guard lock(asker.mutex);
    return !asker.asked.empty() && History().find("not trusted yet") != std::string::npos;
  });
  EXPECT_EQ(queue.Size(), 1);
  EXPECT_EQ(server->RequestCount(), 0);  // nothing asked, no login sent
  Text fingerprint;
  {
    std::lock_guard lock(asker.mutex);
    ASSERT_FALSE(asker.asked.empty());
    fingerprint = asker.asked.front().fingerprint;
    EXPECT_FALSE(asker.asked.front().changed);
  }
  EXPECT_EQ(NormaliseFingerprint(fingerprint), NormaliseFingerprint(Utf8ToUtf16(server->fingerprint())));
  EXPECT_NE(History().find(Utf16ToUtf8(fingerprint)), std::string::npos);
  record.fingerprint = fingerprint;  // what "Trust" stores
  servers.Set(1, record);
  Run(30);
  EXPECT_EQ(queue.Size(), 0) << History();
  EXPECT_EQ(ReadSentBytes(server->root() + "/drop/box/t.txt"), "trusted later");
}

INSTANTIATE_TEST_SUITE_P(Https, WebDavTrust, ::testing::Values(Kind::kApacheHttps));

}  // namespace
}  // namespace wexmoor
