// Delivery rules that only a real server shows: pyftpdlib answers SIZE with
// the length it holds, so a local file that changed under its upload passes
// a size check against the size taken at the start. ProFTPD (mod_digest)
// hashes what it holds, pure-ftpd and vsftpd leave the size check alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

#include "peers/proftpd_fixture.h"
#include "peers/pureftpd_fixture.h"
#include "peers/pyftpd_fixture.h"
#include "peers/vsftpd_fixture.h"
#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "spooler/ftp_upload_session.h"

namespace wexmoor::testing {
namespace {

// Runs `action` once, before the second block.
class SecondBlock final : public TransferObserver {
 public:
  explicit SecondBlock(std::function<void()> action) : action_(std::move(action)) {}
  bool BeforeBlock(std::size_t) override {
    if (++blocks_ == 2 && action_) std::exchange(action_, nullptr)();
    return true;
  }

 private:
  int blocks_ = 0;
  std::function<void()> action_;
};

std::string Contents(const std::string& path) {
  const auto bytes = ReadWholeFile(Utf8ToUtf16(path));
  return bytes ? *bytes : std::string("<missing>");
}

TEST(RealServerDelivery, ALocalFileChangedDuringItsUploadIsSentAgainWhole) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> change;
  };
  const Case cases[] = {
      {"grows",
       [](const std::string& p) {
         const int fd = ::open(p.c_str(), O_WRONLY | O_APPEND);
         ASSERT_GE(fd, 0);
         ASSERT_EQ(::write(fd, "grown", 5), 5);
         ::close(fd);
       }},
      {"is replaced by a file of the same size",
       [](const std::string& p) {
         ASSERT_TRUE(WriteWholeFile(Utf8ToUtf16(p + ".new"), std::string(std::filesystem::file_size(p), 'r')));
         ASSERT_EQ(::rename((p + ".new").c_str(), p.c_str()), 0);
       }},
  };
  TempFolder local, remote;
  PyFtpdServer server(remote.path());
  ASSERT_TRUE(server.ok()) << server.error();
  ServerRecord record;
  record.name = u"srv";
  record.address = u"127.0.0.1";
  record.port = server.port();
  record.login = u"user";
  record.password = u"secret";
  record.timeOut = 10000;
  SystemClock clock;
  ListenerPortSequence ports;
  std::atomic<std::int64_t> lastProgress{0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = local.File("scan.pdf");
    std::string bytes(3u << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 1);
    ASSERT_TRUE(WriteWholeFile(Utf8ToUtf16(path), bytes));
    std::filesystem::remove(remote.File("scan.pdf"));
    FtpUploadSession session(clock, ports, lastProgress, {});
    ASSERT_EQ(session.Open(record, nullptr), SessionOpening::kOpen) << Utf16ToUtf8(session.TakeLog());
    PartRecord part;
    session.UsePart(&part);
    SecondBlock hook([&] { c.change(path); });
    session.SetTransferObserver(&hook);
    EXPECT_EQ(session.Upload(Utf8ToUtf16(path), u"", nullptr, nullptr), EntryOutcome::kFailed);
    EXPECT_EQ(session.LastFailure(), DeliveryFailure::kLocalChanged) << Utf16ToUtf8(session.TakeLog());
    EXPECT_FALSE(std::filesystem::exists(remote.File("scan.pdf"))) << "reported nothing, renamed nothing";
    EXPECT_FALSE(part.Begun());
    // The next attempt sends the file as it is now, from 0.
    session.SetTransferObserver(nullptr);
    ASSERT_EQ(session.Open(record, nullptr), SessionOpening::kOpen);
    EXPECT_EQ(session.Upload(Utf8ToUtf16(path), u"", nullptr, nullptr), EntryOutcome::kSent)
        << Utf16ToUtf8(session.TakeLog());
    EXPECT_TRUE(Contents(remote.File("scan.pdf")) == Contents(path));
    session.Close(nullptr);
  }
}

// `files` small files through one upload session: each checked as
// `verification` says ("sha256:" a digest matched, "size" the size only),
// and given the local time on the server when `timeSet`.
template <class Server>
void ProveRealDeliveries(int files, const std::string& verification, bool timeSet) {
  TempFolder local, remote;
  Server server(remote.path());
  ASSERT_TRUE(server.ok()) << server.error();
  ServerRecord record;
  record.name = u"real";
  record.address = u"127.0.0.1";
  record.port = server.port();
  record.login = Utf8ToUtf16(server.user());
  record.password = Utf8ToUtf16(server.password());
  record.timeOut = 20000;  // pure-ftpd's password check is slow on a busy machine
  SystemClock clock;
  ListenerPortSequence ports;
  std::atomic<std::int64_t> lastProgress{0};
  FtpUploadSession session(clock, ports, lastProgress, {});
  ASSERT_EQ(session.Open(record, nullptr), SessionOpening::kOpen) << Utf16ToUtf8(session.TakeLog());
  int matched = 0;
  for (int i = 0; i < files; ++i) {
    const std::string name = "file " + std::to_string(i) + ".txt";
    const std::string path = local.File(name);
    ASSERT_TRUE(WriteWholeFile(Utf8ToUtf16(path), "bytes of " + name + std::string(static_cast<std::size_t>(i), 'x')));
    const utimbuf times{1'400'000'000 + i, 1'400'000'000 + i};
    ASSERT_EQ(::utime(path.c_str(), &times), 0);
    ASSERT_EQ(session.Upload(Utf8ToUtf16(path), u"", nullptr, nullptr), EntryOutcome::kSent)
        << Utf16ToUtf8(session.TakeLog());
    const std::string said = Utf16ToUtf8(session.LastVerification());
    EXPECT_EQ(said.substr(0, verification.size()), verification) << name;
    if (said.starts_with("sha256:")) ++matched;
    EXPECT_EQ(Contents(remote.File(name)), Contents(path));
    struct stat there {};
    ASSERT_EQ(::stat(remote.File(name).c_str(), &there), 0);
    if (timeSet) {
      EXPECT_EQ(there.st_mtime, 1'400'000'000 + i) << name;
    }
  }
  const std::string log = Utf16ToUtf8(session.TakeLog());
  EXPECT_EQ(log.find("!!"), std::string::npos) << log;
  std::printf("%d of %d files: %s%s\n", matched, files, verification.c_str(), timeSet ? ", time set" : "");
  session.Close(nullptr);
}

TEST(RealServerDelivery, ProftpdHashesEveryFileAndTakesItsTime) { ProveRealDeliveries<ProftpdServer>(20, "sha256:", true); }
TEST(RealServerDelivery, PureFtpdChecksTheSizeAndTakesTheTime) { ProveRealDeliveries<PureFtpdServer>(2, "size", true); }
TEST(RealServerDelivery, VsftpdChecksTheSizeOnlyWithoutError) { ProveRealDeliveries<VsftpdServer>(2, "size", false); }

}  // namespace
}  // namespace wexmoor::testing
