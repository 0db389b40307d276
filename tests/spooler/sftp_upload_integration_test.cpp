// The worker's SFTP sessions against a real OpenSSH server: whole files in
// nested folders with one and four sessions, host keys not trusted, and a
// connection cut in the middle of a file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "ftp/ftp_session.h"
#include "ftp/listener_ports.h"
#include "peers/sshd_fixture.h"
#include "peers/tcp_relay.h"
#include "peers/test_paths.h"
#include "peers/worker_rig.h"
#include "support/file_bytes.h"
#include "support/progress_trigger_display.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "spooler/upload_worker.h"

namespace wexmoor {
namespace {

using testing::SshdServer;
using testing::TempFolder;

using Display = testing::ProgressTriggerDisplay;
using testing::RandomBytes;
using testing::ReadSentBytes;

class Asker : public HostKeyTrustAsker {
 public:
  void AskHostKeyTrust(const Text& serverName, const HostKeyQuestion& question) override {
    std::lock_guard lock(mutex);
    asked.push_back({serverName, question});
  }
  std::mutex mutex;
  std::vector<std::pair<Text, HostKeyQuestion>> asked;
};

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The entries that failed, by their text.
class Outcomes : public UploadOutcomes {
 public:
  void EntryFinished(std::uint64_t, const Text& entryText, UploadResult result) override {
    std::lock_guard lock(mutex_);
    if (result == UploadResult::kFailed) failed_.insert(Utf16ToUtf8(entryText));
  }
  std::set<std::string> Failed() const {
    std::lock_guard lock(mutex_);
    return failed_;
  }

 private:
  mutable std::mutex mutex_;
  std::set<std::string> failed_;
};

class SftpUploads : public ::testing::Test, public testing::RealTimeWorkerRig {
 protected:
  static void SetUpTestSuite() { StartSftpLibrary(); }

  void SetUp() override {
    if (!SshdServer::available()) GTEST_SKIP() << "needs root and /usr/sbin/sshd";
    server = std::make_unique<SshdServer>();
    ASSERT_TRUE(server->ok()) << server->error();
  }

  // The record of server "srv": password login, host key stored.
  ServerRecord Record(int connections) const {
    ServerRecord record;
    record.name = u"srv";
    record.address = u"127.0.0.1/site";
    record.port = server->port();
    record.protocol = kProtocolSftp;
    record.login = Utf8ToUtf16(server->user());
    record.password = Utf8ToUtf16(server->password());
    record.fingerprint = Utf8ToUtf16(server->hostFingerprint());
    record.timeOut = 10000;
    record.connections = connections;
    record.tempName = 1;
    return record;
  }

  std::string Queue(const std::string& name, const std::string& bytes, const std::string& subfolder = {}) {
    const std::string path = local.File(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    EXPECT_TRUE(WriteWholeFile(Utf8ToUtf16(path), bytes));
    queue.Append(Utf8ToUtf16(path + "|srv|" + subfolder));
    return path;
  }

  // Runs the worker until the queue is empty or `seconds` have passed.
  void Run(int seconds, const std::function<bool()>& done = {}) {
    WorkerContext context{queue, servers, removeRing, flags, history, session, clock, display, &outcomes, &sftp};
    UploadWorker worker(context);
    worker.Start();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until && (done ? !done() : queue.Size() > 0))
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    worker.Terminate();
  }

  // The history since the last Mark().
  std::string History() const { return Utf16ToUtf8(history.Get().substr(mark)); }
  void Mark() { mark = history.Get().size(); }

  std::unique_ptr<SshdServer> server;
  TempFolder local;
  std::size_t mark = 0;
  Display display;
  Outcomes outcomes;
  Asker asker;
  SftpSettings sftp{{}, {}, &asker};
};

struct Login {
  bool key;
  int connections;
};

class SftpUploadsLogins : public SftpUploads, public ::testing::WithParamInterface<Login> {};

TEST_P(SftpUploadsLogins, NestedFilesArriveByteIdenticalUnderTheirNames) {
  const Login c = GetParam();
  ServerRecord record = Record(c.connections);
  if (c.key) {
    record.password.clear();
    sftp.sshFolder = server->clientSshFolder();
  }
  // Through a relay that counts the connections.
  testing::TcpRelay relay(server->port());
  record.port = relay.port();
  servers.Set(1, record);
  std::mt19937 random(c.connections * 2 + c.key);
  std::map<std::string, std::string> files;  // below the site folder -> bytes
  for (int a = 0; a < 2; ++a) {
    for (int b = 0; b < 2; ++b) {
      // Appended piece by piece: GCC 12 gives a false -Werror=restrict for
      // "literal" + std::string at -O3 (GCC bug 105329).
      const std::string sub = std::string("d").append(std::to_string(a)).append("/e").append(std::to_string(b));
      for (int i = 0; i < 8; ++i) {
        const std::string name = std::string("f").append(std::to_string(i)).append(".bin");
        files[sub + "/" + name] = RandomBytes(random() % 70000, random);
        Queue(sub + "/" + name, files[sub + "/" + name], sub);
      }
    }
  }
  files["big.bin"] = RandomBytes(3'500'000, random);
  Queue("big.bin", files["big.bin"]);
  for (const auto& [name, bytes] : files) {
    const timeval old[2] = {{1'300'000'000, 0}, {1'300'000'000, 0}};
    ASSERT_EQ(::utimes(local.File(name).c_str(), old), 0);
  }

  Run(25);
  ASSERT_EQ(queue.Size(), 0) << History().substr(0, 4000);
  for (const auto& [name, bytes] : files) {
    const std::string there = server->home() + "/site/" + name;
    EXPECT_TRUE(ReadSentBytes(there) == bytes) << name;
    EXPECT_FALSE(std::filesystem::exists(there + ".part")) << name;
    // SETSTAT gave each file the local file's time.
    struct stat mine {}, theirs {};
    ASSERT_EQ(::stat(local.File(name).c_str(), &mine), 0);
    ASSERT_EQ(::stat(there.c_str(), &theirs), 0);
    EXPECT_EQ(theirs.st_mtime, mine.st_mtime) << name;
  }
  EXPECT_EQ(History().find(server->password()), std::string::npos);
  // Sessions are kept: no more logins than sessions allowed, and several
  // at once where allowed.
  EXPECT_GE(relay.accepted(), 1);
  EXPECT_LE(relay.accepted(), c.connections) << History();
  if (c.connections > 1) {
    EXPECT_GE(relay.accepted(), 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Sftp, SftpUploadsLogins,
                         ::testing::Values(Login{false, 1}, Login{false, 4}, Login{true, 1}, Login{true, 4}),
                         [](const auto& info) {
                           return std::string(info.param.key ? "Key" : "Password") + "_" +
                                  std::to_string(info.param.connections);
                         });

TEST_F(SftpUploads, UnknownHostKeyIsAskedAboutOnceNothingIsSentAndTheEntryStays) {
  ServerRecord record = Record(2);
  record.fingerprint.clear();
  servers.Set(1, record);
  Queue("a.txt", "content");
  // Two seconds: the server is held back after the refusal, so one attempt.
  Run(2, [] { return false; });
  const std::string log = History();
  EXPECT_EQ(queue.Size(), 1);
  EXPECT_NE(log.find("!!--- Unknown host key ssh-ed25519 " + server->hostFingerprint()), std::string::npos) << log;
  EXPECT_EQ(log.find("<--->USER"), std::string::npos) << "nothing of the login before the key is trusted";
  EXPECT_EQ(Count(log, "----- Connected to"), 1) << log;
  EXPECT_FALSE(std::filesystem::exists(server->home() + "/site"));
  ASSERT_EQ(asker.asked.size(), 1u);
  EXPECT_EQ(asker.asked[0].first, u"srv");
  EXPECT_EQ(asker.asked[0].second.keyType, u"ssh-ed25519");
  EXPECT_EQ(Utf16ToUtf8(asker.asked[0].second.fingerprint), server->hostFingerprint());

  // Trusted (the fingerprint stored, as the trust window does): it goes.
  Mark();
  record.fingerprint = asker.asked[0].second.fingerprint;
  servers.Set(1, record);
  Run(15);
  EXPECT_EQ(queue.Size(), 0) << History();
  EXPECT_EQ(ReadSentBytes(server->home() + "/site/a.txt"), "content");
}

TEST_F(SftpUploads, ChangedHostKeyIsRefusedWithoutAsking) {
  TempFolder sshFolder;
  for (const bool inKnownHosts : {true, false}) {
    SCOPED_TRACE(inKnownHosts ? "known_hosts" : "stored fingerprint");
    ServerRecord record = Record(1);
    if (inKnownHosts) {
      record.fingerprint.clear();
      ASSERT_TRUE(WriteWholeFile(Utf8ToUtf16(sshFolder.File("known_hosts")), server->KnownHostsLine(true)));
      sftp.sshFolder = sshFolder.path();
    } else {
      record.fingerprint = u"SHA256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA";
      sftp.sshFolder.clear();
    }
    servers.Set(1, record);
    Mark();
      if (queue.Size() == 0) Queue("b.txt", "content");
    Run(1, [&] { return History().find("!!---") != std::string::npos; });
    const std::string log = History();
    EXPECT_NE(log.find("!!--- The host key has changed: ssh-ed25519 " + server->hostFingerprint()),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("<--->USER"), std::string::npos);
    EXPECT_EQ(queue.Size(), 1);
  }
  EXPECT_TRUE(asker.asked.empty());
  EXPECT_FALSE(std::filesystem::exists(server->home() + "/site"));
}

TEST_F(SftpUploads, ConnectionCutInTheMiddleOfAFileResumesFromThePart) {
  testing::TcpRelay relay(server->port());
  ServerRecord record = Record(1);
  record.port = relay.port();
  servers.Set(1, record);
  std::mt19937 random(5);
  const std::string bytes = RandomBytes(24u << 20, random);
  Queue("cut.bin", bytes);
  display.At(40, [&] { relay.Cut(); });
  // The server is held back for a retry wait (5 s and some) after the cut.
  Run(25);
  const std::string log = History();
  ASSERT_EQ(queue.Size(), 0) << log;
  EXPECT_TRUE(ReadSentBytes(server->home() + "/site/cut.bin") == bytes);
  EXPECT_FALSE(std::filesystem::exists(server->home() + "/site/cut.bin.part"));
  EXPECT_NE(log.find("----- Resuming at "), std::string::npos) << log;
  EXPECT_GE(relay.accepted(), 2);
}

// With temporary names a session opens the next entry's part while the
// current one is written and renamed. A refusal of either fails only its own
// entry: f1, whose part name is a folder (its OPEN went out ahead, during
// f0), and f3, whose rename is refused (its final name is a folder that
// holds a file) while f4's OPEN is out. The others arrive whole, no part is
// left beside them, and the two stay queued.
TEST_F(SftpUploads, AFailureOfTheCurrentOrTheOverlappedNextFileFailsOnlyThatEntry) {
  servers.Set(1, Record(1));
  const std::string site = server->home() + "/site";
  std::filesystem::create_directories(site + "/f1.bin.part");
  std::filesystem::create_directories(site + "/f3.bin/inside");
  std::filesystem::permissions(site, std::filesystem::perms::all);
  std::mt19937 random(11);
  std::vector<std::string> bytes;
  for (int i = 0; i < 7; ++i) {
    bytes.push_back(RandomBytes(40'000 + static_cast<std::size_t>(i) * 3000, random));
    Queue("f" + std::to_string(i) + ".bin", bytes.back());
  }
  const auto arrived = [&](int i) { return ReadSentBytes(site + "/f" + std::to_string(i) + ".bin") == bytes[static_cast<std::size_t>(i)]; };
  Run(20, [&] { return queue.Size() <= 2 && arrived(6); });
  const std::string log = History();
  EXPECT_EQ(queue.Size(), 2) << log;
  // Only those two ever failed.
  const std::set<std::string> failed = outcomes.Failed();
  EXPECT_EQ(failed.size(), 2u) << log;
  for (const std::string& text : failed)
    EXPECT_TRUE(text.find("/f1.bin|") != std::string::npos || text.find("/f3.bin|") != std::string::npos) << text;
  for (int i : {0, 2, 4, 5, 6}) {
    EXPECT_TRUE(arrived(i)) << i << log;
    EXPECT_FALSE(std::filesystem::exists(site + "/f" + std::to_string(i) + ".bin.part")) << i;
  }
  EXPECT_TRUE(std::filesystem::is_directory(site + "/f1.bin.part"));
  EXPECT_TRUE(std::filesystem::exists(site + "/f3.bin/inside"));
  // The overlap was there: OPENs went out ahead, and f4's was given up with
  // f3's failure.
  EXPECT_GE(Count(log, " (ahead)"), 3) << log;
  EXPECT_NE(log.find("f4.bin.part (not taken)"), std::string::npos) << log;

  // Files past the overlap size are not claimed early: another session may
  // take them meanwhile.
  queue.Clear();
  servers.Set(1, Record(2));
  Mark();
  const std::string big((SftpUploadSession::kOverlapBytes) + 1, 'b');
  Queue("big1.bin", big);
  Queue("big2.bin", big);
  Run(20);
  ASSERT_EQ(queue.Size(), 0) << History();
  EXPECT_EQ(History().find(" (ahead)"), std::string::npos) << History();
}

// Names outside ASCII, with quotes and a backslash, arrive under their own
// names over the default settings, byte-identical.
TEST_F(SftpUploads, NamesArriveAsTheyAre) {
  servers.Set(1, Record(2));
  const std::vector<std::string> names = {"\u041f\u0440\u0438\u0432\u0435\u0442.txt",
                                          "\u6771\u4eac\u306e\u5199\u771f.jpg", "c \u00e9.txt",
                                          "Report \"A\".pdf", "Report \"B\".pdf", "back\\slash.txt"};
  std::map<std::string, std::string> files;
  for (std::size_t i = 0; i < names.size(); ++i) {
    files[names[i]] = names[i] + std::string(50 + i * 31, static_cast<char>('a' + i));
    Queue(names[i], files[names[i]]);
  }
  Run(20);
  ASSERT_EQ(queue.Size(), 0) << History().substr(0, 3000);
  std::size_t onServer = 0;
  for (const auto& entry : std::filesystem::directory_iterator(server->home() + "/site")) {
    (void)entry;
    ++onServer;
  }
  EXPECT_EQ(onServer, names.size());
  for (const auto& [name, bytes] : files) EXPECT_TRUE(ReadSentBytes(server->home() + "/site/" + name) == bytes) << name;
}

}  // namespace
}  // namespace wexmoor
