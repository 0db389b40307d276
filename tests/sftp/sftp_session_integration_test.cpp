// The SFTP session against a real OpenSSH server.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "peers/sshd_fixture.h"
#include "peers/tcp_relay.h"
#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "sftp/sftp_session.h"
#include "spooler/delivery_policy.h"
#include "spooler/sftp_remote_files.h"
#include "support/wait_for.h"

namespace wexmoor::testing {
namespace {

using Clock = std::chrono::steady_clock;

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string ReadBytes(const std::string& path) {
  const auto bytes = ReadWholeFile(Utf8ToUtf16(path));
  return bytes ? *bytes : std::string("<missing>");
}

struct Lines final : StatusTarget {
  void SetStatusText(const Text& line) override {
    std::lock_guard lock(mutex);
    last = Utf16ToUtf8(line);
  }
  std::mutex mutex;
  std::string last;
};

// Calls `action` once the upload has passed `percent`.
struct CutAt final : ProgressTarget {
  CutAt(int percent, std::function<void()> action) : percent_(percent), action_(std::move(action)) {}
  void SetProgress(int percent) override {
    if (percent >= percent_ && action_) std::exchange(action_, nullptr)();
  }
  int percent_;
  std::function<void()> action_;
};

// One file through the delivery policy into the session's current folder:
// `remoteName` + ".part", its size checked, renamed. `part` (optional) keeps
// the part across attempts. 1 or -1.
int Deliver(SftpSession& session, const Text& localPath, const Text& remoteName, PartRecord* part,
            ProgressTarget* progress, StatusTarget* status) {
  SftpRemoteFiles remote(session, {}, {});
  remote.SetStatus(status);
  DeliveryJob job;
  job.localPath = localPath;
  job.remoteName = remoteName;
  job.part = part;
  job.remotePath = remoteName;
  return DeliverWithPolicy(remote, job, nullptr, progress, status).result;
}

class SftpSessionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartSftpLibrary(); }

  void SetUp() override {
    if (!SshdServer::available()) GTEST_SKIP() << "needs root and /usr/sbin/sshd";
    ASSERT_TRUE(server.ok()) << server.error();
  }

  // A login by password, the host key trusted through the stored fingerprint.
  SftpLogin Login() const {
    SftpLogin login;
    login.host = u"127.0.0.1";
    login.port = server.port();
    login.login = Utf8ToUtf16(server.user());
    login.password = Utf8ToUtf16(server.password());
    login.fingerprint = Utf8ToUtf16(server.hostFingerprint());
    login.timeOut = 10000;
    return login;
  }

  std::string LocalFile(const std::string& name, const std::string& bytes) {
    const std::string path = local.File(name);
    EXPECT_TRUE(WriteWholeFile(Utf8ToUtf16(path), bytes));
    return path;
  }

  std::string LogOf(const SftpSession& s) const { return Utf16ToUtf8(s.Log().Get()); }

  SshdServer server;
  TempFolder local;
  std::atomic<std::int64_t> lastProgress{0};
  SystemClock clock;
  Lines status;
};

TEST_F(SftpSessionTest, PasswordLoginUploadsByteIdenticalIntoNewNestedFoldersAndLists) {
  SftpSession session(clock, lastProgress);
  ASSERT_EQ(session.Connect(Login(), &status), 1) << LogOf(session);
  EXPECT_EQ(session.HostKeyFingerprint(), server.hostFingerprint());
  EXPECT_TRUE(session.PosixRenameOffered());
  ASSERT_EQ(session.EnterFolderPath(u"upload/über/c/", &status), 1) << LogOf(session);
  const std::string bytes = RandomBytes(3'000'001, 1);
  const std::string path = LocalFile("big.bin", bytes);
  ASSERT_EQ(Deliver(session, Utf8ToUtf16(path), u"Grüße €.bin", nullptr, nullptr, &status), 1)
      << LogOf(session);
  const std::string landed = server.home() + "/upload/über/c/Grüße €.bin";
  EXPECT_EQ(ReadBytes(landed), bytes);
  EXPECT_FALSE(std::filesystem::exists(landed + ".part"));
  // An empty file and a replacement of an existing name.
  const std::string empty = LocalFile("empty.txt", "");
  ASSERT_EQ(Deliver(session, Utf8ToUtf16(empty), u"Grüße €.bin", nullptr, nullptr, &status), 1);
  EXPECT_EQ(ReadBytes(landed), "");
  // A second session finds the folders there already and lists them.
  SftpSession second(clock, lastProgress);
  ASSERT_EQ(second.Connect(Login(), &status), 1);
  ASSERT_EQ(second.EnterFolderPath(u"upload", &status), 1);
  std::vector<SftpListEntry> entries;
  ASSERT_EQ(second.ListFolder(entries, &status), 1);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, u"über");
  EXPECT_TRUE(entries[0].isFolder);
  second.Quit(&status);
  session.Quit(&status);
  const std::string log = LogOf(session);
  EXPECT_EQ(log.find(server.password()), std::string::npos);
  EXPECT_NE(log.find("<--->PASS ****"), std::string::npos);
  EXPECT_NE(log.find("<--->MKDIR"), std::string::npos);
  EXPECT_NE(log.find(">---<Host key ssh-ed25519 " + server.hostFingerprint()), std::string::npos);
}

TEST_F(SftpSessionTest, WithoutPosixRenameAnExistingFileIsMovedAsideThenReplaced) {
  SftpSession session(clock, lastProgress);
  ASSERT_EQ(session.Connect(Login(), &status), 1);
  session.AvoidPosixRename();
  for (const char* content : {"first", "second, longer"}) {
    ASSERT_EQ(Deliver(session, Utf8ToUtf16(LocalFile("r.txt", content)), u"r.txt", nullptr, nullptr,
                                               &status),
              1)
        << LogOf(session);
    EXPECT_EQ(ReadBytes(server.home() + "/r.txt"), content);
  }
  EXPECT_NE(LogOf(session).find("<--->REMOVE"), std::string::npos);
  // The browse entry lists what is there and leaves nothing open.
  SftpSession browser(clock, lastProgress);
  EXPECT_EQ(BrowseSftpServer(browser, Login(), u"", &status), u"r.txt|");
  EXPECT_FALSE(browser.Connected());
  EXPECT_TRUE(BrowseSftpServer(browser, Login(), u"r.txt", &status).starts_with(u"!!Error while opening"));
}

TEST_F(SftpSessionTest, KeyboardInteractiveIsAnsweredWithThePassword) {
  SshdServer pam(true);
  ASSERT_TRUE(pam.ok()) << pam.error();
  SftpLogin login = Login();
  login.port = pam.port();
  login.login = Utf8ToUtf16(pam.user());
  login.password = Utf8ToUtf16(pam.password());
  login.fingerprint = Utf8ToUtf16(pam.hostFingerprint());
  SftpSession session(clock, lastProgress);
  ASSERT_EQ(session.Connect(login, &status), 1) << LogOf(session) << pam.ServerLog();
  const std::string log = LogOf(session);
  EXPECT_NE(log.find("<--->keyboard-interactive ****"), std::string::npos);
  EXPECT_EQ(log.find("<--->PASS"), std::string::npos);
  EXPECT_EQ(log.find(pam.password()), std::string::npos);
}

TEST_F(SftpSessionTest, KeyLoginFromTheSshFolderAndARootedPath) {
  SftpLogin login = Login();
  login.password.clear();
  login.sshFolder = server.clientSshFolder();  // id_rsa is refused, id_ed25519 accepted
  SftpSession session(clock, lastProgress);
  ASSERT_EQ(session.Connect(login, &status), 1) << LogOf(session) << server.ServerLog();
  const std::string log = LogOf(session);
  EXPECT_LT(log.find("id_rsa\r\n"), log.find("id_ed25519\r\n"));
  ASSERT_EQ(session.EnterFolderPath(Utf8ToUtf16(server.home() + "/rooted/x"), &status), 1);
  const std::string bytes = RandomBytes(200'000, 2);
  ASSERT_EQ(Deliver(session, Utf8ToUtf16(LocalFile("k.bin", bytes)), u"k.bin", nullptr, nullptr,
                                             &status),
            1);
  EXPECT_EQ(ReadBytes(server.home() + "/rooted/x/k.bin"), bytes);

  SftpLogin wrong = Login();
  wrong.password = u"not-the-password";
  SftpSession refused(clock, lastProgress);
  EXPECT_EQ(refused.Connect(wrong, &status), -1);
  EXPECT_NE(LogOf(refused).find("!!--- Login refused"), std::string::npos);
  EXPECT_EQ(LogOf(refused).find("not-the-password"), std::string::npos);
}

TEST_F(SftpSessionTest, FourSessionsAtOnceEachUploadTheirFiles) {
  std::vector<std::string> contents;
  for (unsigned i = 0; i < 4; ++i) contents.push_back(RandomBytes(400'000 + i * 1000, 10 + i));
  std::vector<int> results(4, 0);
  std::vector<std::string> logs(4);
  {
    std::vector<std::jthread> workers;
    for (int i = 0; i < 4; ++i) {
      const std::string path = LocalFile(std::string("f").append(std::to_string(i)), contents[i]);
      workers.emplace_back([&, i, path] {
        SftpSession s(clock, lastProgress);
        int ok = s.Connect(Login(), nullptr) == 1 && s.EnterFolderPath(u"many", nullptr) == 1;
        for (int n = 0; ok && n < 5; ++n) {
          const std::string name = std::string("f").append(std::to_string(i)).append("-").append(std::to_string(n));
          ok = Deliver(s, Utf8ToUtf16(path), Utf8ToUtf16(name),
                                          nullptr, nullptr, nullptr) == 1;
        }
        s.Quit(nullptr);
        results[i] = ok;
        if (!ok) logs[i] = LogOf(s);
      });
    }
  }
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(results[i], 1) << "session " << i << ":\n" << logs[i];
    for (int n = 0; n < 5; ++n) {
      EXPECT_EQ(ReadBytes(server.home() + "/many/f" + std::to_string(i) + "-" + std::to_string(n)), contents[i]);
    }
  }
}

TEST_F(SftpSessionTest, HostKeysUnknownOrChangedAreRefusedBeforeTheLogin) {
  TempFolder sshFolder;
  SftpLogin login = Login();
  login.fingerprint.clear();
  login.sshFolder = sshFolder.path();
  int asked = 0;
  HostKeyQuestion question;
  {  // Unknown, no window: refused, the fingerprint named, nothing of the login sent.
    SftpSession session(clock, lastProgress);
    ASSERT_EQ(session.Connect(login, &status), -1);
    const std::string log = LogOf(session);
    EXPECT_NE(log.find("!!--- Unknown host key ssh-ed25519 " + server.hostFingerprint()), std::string::npos);
    EXPECT_EQ(log.find("<--->USER"), std::string::npos);
    EXPECT_FALSE(session.Connected());
  }
  {  // Unknown, the window says yes.
    SftpSession session(clock, lastProgress);
    session.SetTrustWindow([&](const HostKeyQuestion& q) {
      ++asked;
      question = q;
      return true;
    });
    ASSERT_EQ(session.Connect(login, &status), 1);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Utf16ToUtf8(question.fingerprint), server.hostFingerprint());
    EXPECT_EQ(question.keyType, u"ssh-ed25519");
  }
  {  // In known_hosts under [127.0.0.1]:port: trusted without asking.
    WriteWholeFile(Utf8ToUtf16(sshFolder.File("known_hosts")), server.KnownHostsLine());
    SftpSession session(clock, lastProgress);
    ASSERT_EQ(session.Connect(login, &status), 1) << LogOf(session);
  }
  auto refusedEvenIfTheWindowSaysYes = [&](const SftpLogin& changed) {
    SftpSession session(clock, lastProgress);
    session.SetTrustWindow([&](const HostKeyQuestion&) { return ++asked > 0; });
    const int before = asked;
    EXPECT_EQ(session.Connect(changed, &status), -1);
    EXPECT_EQ(asked, before);
    const std::string log = LogOf(session);
    EXPECT_NE(log.find("!!--- The host key has changed: ssh-ed25519 " + server.hostFingerprint()),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("<--->USER"), std::string::npos);
  };
  // known_hosts holds another key for this host and port.
  WriteWholeFile(Utf8ToUtf16(sshFolder.File("known_hosts")), server.KnownHostsLine(true));
  refusedEvenIfTheWindowSaysYes(login);
  // The stored fingerprint names another key (known_hosts has none).
  WriteWholeFile(Utf8ToUtf16(sshFolder.File("known_hosts")), "");
  SftpLogin stored = login;
  stored.fingerprint = u"SHA256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA";
  refusedEvenIfTheWindowSaysYes(stored);
}

TEST_F(SftpSessionTest, ACutMidFileIsResumedFromWhatTheServerHas) {
  TcpRelay relay(server.port());
  ASSERT_NE(relay.port(), 0);
  const std::string bytes = RandomBytes(24u << 20, 3);
  const Text path = Utf8ToUtf16(LocalFile("cut.bin", bytes));
  SftpLogin viaRelay = Login();
  viaRelay.port = relay.port();
  SftpSession session(clock, lastProgress);
  ASSERT_EQ(session.Connect(viaRelay, &status), 1);
  CutAt cut(30, [&] { relay.Cut(); });
  PartRecord part;
  EXPECT_EQ(Deliver(session, path, u"cut.bin", &part, &cut, &status), -1);
  EXPECT_FALSE(session.Connected());
  EXPECT_NE(LogOf(session).find("!!--- Connection lost"), std::string::npos) << LogOf(session);
  // The server keeps the part; a new session resumes from its size.
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(server.home() + "/cut.bin.part"); },
                      std::chrono::seconds(5)));
  SftpSession again(clock, lastProgress);
  ASSERT_EQ(again.Connect(Login(), &status), 1);
  ASSERT_EQ(Deliver(again, path, u"cut.bin", &part, nullptr, &status), 1) << LogOf(again);
  EXPECT_EQ(ReadBytes(server.home() + "/cut.bin"), bytes);
  const std::string log = LogOf(again);
  const std::size_t from = log.find(".part from ");
  ASSERT_NE(from, std::string::npos) << log;
  EXPECT_GT(std::stoll(log.substr(from + 11)), 0);
}

// A server that completes the writes in flight out of order and is then cut
// leaves a part whose size does not prove the bytes below it: the resume
// starts below it by the whole window in flight, and no hole remains.
TEST_F(SftpSessionTest, OutOfOrderWritesBeforeACutLeaveNoHoleAfterTheResume) {
  SshdServer reordering(false, SourceDir() + "/tests/peers/reordering_sftp_server.py");
  ASSERT_TRUE(reordering.ok()) << reordering.error();
  SftpLogin login = Login();
  login.port = reordering.port();
  login.login = Utf8ToUtf16(reordering.user());
  login.password = Utf8ToUtf16(reordering.password());
  login.fingerprint = Utf8ToUtf16(reordering.hostFingerprint());
  const std::string bytes = RandomBytes(6u << 20, 5);
  const Text path = Utf8ToUtf16(LocalFile("hole.bin", bytes));
  const std::string part = reordering.home() + "/hole.bin.part";
  PartRecord record;
  {
    SftpSession session(clock, lastProgress);
    ASSERT_EQ(session.Connect(login, &status), 1) << LogOf(session);
    EXPECT_EQ(Deliver(session, path, u"hole.bin", &record, nullptr, &status), -1);
  }
  // The part ends behind a hole: its size is no proof.
  const std::string left = ReadBytes(part);
  ASSERT_GT(left.size(), 2u << 20);
  ASSERT_NE(left, bytes.substr(0, left.size())) << "the server left no hole";
  SftpSession again(clock, lastProgress);
  ASSERT_EQ(again.Connect(login, &status), 1) << LogOf(again);
  ASSERT_EQ(Deliver(again, path, u"hole.bin", &record, nullptr, &status), 1) << LogOf(again);
  EXPECT_TRUE(ReadBytes(reordering.home() + "/hole.bin") == bytes) << "a hole was left";
  const std::string log = LogOf(again);
  const std::size_t from = log.find(".part from ");
  ASSERT_NE(from, std::string::npos) << log;
  EXPECT_EQ(std::stoll(log.substr(from + 11)), static_cast<long long>(left.size()) - (2 << 20));
}

// Files overlap: the OPEN of a later file's part goes out before its turn.
// It is taken by that file's own upload alone; its refusal fails that file
// alone; one that no upload takes leaves nothing on the server; and answers
// that arrive while nobody waits (OPENs ahead, SETSTAT) are no sign of a dead
// session.
TEST_F(SftpSessionTest, OpensSentAheadBelongToTheirOwnFileAndLeaveNothingBehind) {
  SftpSession session(clock, lastProgress);
  ASSERT_EQ(session.Connect(Login(), &status), 1) << LogOf(session);
  const std::string home = server.home();
  // A folder of that name: OPEN refuses it.
  std::filesystem::create_directory(home + "/blocked.bin.part");
  std::map<std::string, std::string> bytes;
  std::map<std::string, Text> paths;
  for (const char* name : {"a.bin", "b.bin", "c.bin", "blocked.bin"}) {
    bytes[name] = RandomBytes(70'000 + bytes.size() * 1000, static_cast<unsigned>(bytes.size() + 10));
    paths[name] = Utf8ToUtf16(LocalFile(name, bytes[name]));
  }
  const struct timeval old[2] = {{1'300'000'000, 0}, {1'300'000'000, 0}};
  ASSERT_EQ(::utimes(Utf16ToUtf8(paths["c.bin"]).c_str(), old), 0);
  const auto deliver = [&](const std::string& name) {
    return Deliver(session, paths[name], Utf8ToUtf16(name), nullptr, nullptr, &status);
  };
  const auto plainOpens = [&](const std::string& name) {
    const std::string log = LogOf(session);
    return Count(log, "<--->OPEN " + home + "/" + name + ".part\r");
  };

  session.OpenAhead(u"a.bin.part", &status);
  session.OpenAhead(u"b.bin.part", &status);
  session.OpenAhead(u"c.bin.part", &status);  // beyond two: not sent
  EXPECT_EQ(session.OpenAheadPaths().size(), 2u);
  ASSERT_EQ(deliver("a.bin"), 1) << LogOf(session);
  session.OpenAhead(u"blocked.bin.part", &status);
  // b's handle came ahead; the refusal for "blocked" arrives meanwhile.
  ASSERT_EQ(deliver("b.bin"), 1) << LogOf(session);
  EXPECT_EQ(deliver("blocked.bin"), -1);
  EXPECT_TRUE(session.Connected()) << LogOf(session);
  ASSERT_EQ(deliver("c.bin"), 1) << LogOf(session);
  for (const char* name : {"a.bin", "b.bin"}) EXPECT_EQ(plainOpens(name), 0) << name << LogOf(session);
  EXPECT_EQ(plainOpens("c.bin"), 1) << LogOf(session);
  for (const char* name : {"a.bin", "b.bin", "c.bin"}) EXPECT_TRUE(ReadBytes(home + "/" + name) == bytes[name]) << name;

  // Not taken: given up at once, or at the goodbye.
  session.OpenAhead(u"x.bin.part", &status);
  session.AbandonOpenAhead(home + "/x.bin.part", &status);
  EXPECT_FALSE(std::filesystem::exists(home + "/x.bin.part"));
  session.OpenAhead(u"y.bin.part", &status);
  // Its answer and c's SETSTAT answer arrive while nobody waits.
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(home + "/y.bin.part"); }, std::chrono::seconds(5)));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(session.Alive()) << LogOf(session);
  session.Quit(&status);
  EXPECT_FALSE(std::filesystem::exists(home + "/y.bin.part"));
  const std::string log = LogOf(session);
  EXPECT_NE(log.find(">---<SETSTAT " + home + "/c.bin: OK"), std::string::npos) << log;
  // SETSTAT, not waited for, still gave the file the local file's time.
  struct stat there {};
  ASSERT_EQ(::stat((home + "/c.bin").c_str(), &there), 0);
  EXPECT_EQ(there.st_mtime, 1'300'000'000);
}

TEST_F(SftpSessionTest, AStopEndsAStalledUploadWithinASecondAndClosesEverything) {
  const std::string bytes = RandomBytes(32u << 20, 4);
  const Text path = Utf8ToUtf16(LocalFile("stall.bin", bytes));
  const int before = OpenDescriptors();
  auto relay = std::make_unique<TcpRelay>(server.port());
  SftpLogin viaRelay = Login();
  viaRelay.port = relay->port();
  viaRelay.timeOut = 60000;
  std::stop_source stop;
  std::atomic<bool> stalled{false};
  int result = 0;
  auto asked = Clock::now();
  {
    SftpSession session(clock, lastProgress);
    session.SetStopToken(stop.get_token());
    ASSERT_EQ(session.Connect(viaRelay, &status), 1);
    CutAt hold(10, [&] {
      relay->Hold(true);
      stalled = true;
    });
    std::jthread worker([&] { result = session.UploadFile(path, u"stall.bin", 0, &hold, &status); });
    ASSERT_TRUE(WaitFor([&] { return stalled.load(); }, std::chrono::seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    asked = Clock::now();
    stop.request_stop();
    worker.join();
    EXPECT_LT(Clock::now() - asked, std::chrono::seconds(1));
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(session.Connected());
    EXPECT_NE(LogOf(session).find("!!--- Stopped"), std::string::npos);
    // Every later call fails at once.
    asked = Clock::now();
    EXPECT_EQ(session.RemoteSize(u"stall.bin", &status), -2);
    EXPECT_EQ(session.Connect(viaRelay, &status), -1);
    EXPECT_LT(Clock::now() - asked, std::chrono::milliseconds(200));
  }
  relay.reset();
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace wexmoor::testing
