// Delivery rules that only a real server shows: pyftpdlib answers SIZE with
// the length it holds, so a local file that changed under its upload passes
// a size check against the size taken at the start.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

#include "peers/pyftpd_fixture.h"
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

}  // namespace
}  // namespace wexmoor::testing
