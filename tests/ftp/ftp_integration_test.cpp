// The engine against a real FTP server (pyftpdlib) on 127.0.0.1, in passive
// and in active mode.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>

#include "ftp/control_connection.h"
#include "ftp/file_upload.h"
#include "ftp/ftp_session.h"
#include "ftp/remote_session.h"
#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "platform/files.h"

namespace wexmoor::testing {
namespace {

std::string Bytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  std::mt19937 random(seed);
  for (char& c : bytes) c = static_cast<char>(random() & 0xff);
  return bytes;
}

// Parameter: active mode.
class RealServerTest : public ::testing::TestWithParam<bool> {
 protected:
  RealServerTest() : ports(static_cast<int>(std::random_device{}() % 100)), server(root.path()) {
    session.SetIpEchoUrl({});
  }

  void SetUp() override { ASSERT_TRUE(server.ok()) << server.error(); }

  ServerRecord Record(const std::string& folderPath) const {
    ServerRecord r;
    r.name = u"real";
    r.address = Utf8ToUtf16("127.0.0.1" + folderPath);
    r.port = server.port();
    r.login = Utf8ToUtf16(server.user());
    r.password = Utf8ToUtf16(server.password());
    r.active = GetParam() ? 1 : 0;
    r.timeOut = 5000;
    return r;
  }

  std::string LogText() const { return Utf16ToUtf8(session.Log().Get()); }

  TempFolder root;
  TempFolder local;
  SystemClock clock;
  ListenerPortSequence ports;
  std::atomic<std::int64_t> lastProgress{0};
  FtpSession session{clock, ports, lastProgress};
  PyFtpdServer server;
};

TEST_P(RealServerTest, WalkCreatesMissingFoldersThenUploadsByteIdenticalFiles) {
  std::filesystem::create_directory(root.File("a"));
  ServerRecord record = Record("/a/b/c");
  ASSERT_EQ(PrepareUploadSession(session, record, 0, nullptr), 1) << LogText();
  EXPECT_TRUE(std::filesystem::is_directory(root.File("a/b/c")));
  EXPECT_NE(LogText().find("<--->MKD b"), std::string::npos);
  EXPECT_NE(LogText().find("<--->MKD c"), std::string::npos);

  const std::vector<std::pair<std::string, std::size_t>> files = {
      {"one.bin", 1}, {"odd.bin", 1025}, {"big.bin", 50u << 20}};
  for (const auto& [name, size] : files) {
    SCOPED_TRACE(name);
    const std::string bytes = Bytes(size, static_cast<unsigned>(size));
    const Text path = Utf8ToUtf16(local.File(name));
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    ServerRecord copy = record;
    EXPECT_EQ(UploadFile(session, session.controlConnection(), copy, path, nullptr, nullptr), 1) << LogText();
    const auto stored = ReadWholeFile(Utf8ToUtf16(root.File("a/b/c/" + name)));
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->size(), size);
    EXPECT_TRUE(*stored == bytes);
  }
  EXPECT_EQ(session.bytesSent, static_cast<std::int64_t>(50u << 20));
  EXPECT_EQ(Disconnect(session, nullptr), 1);
  EXPECT_EQ(session.controlConnection(), 0);
}

TEST_P(RealServerTest, BrowseParsesTheListing) {
  std::filesystem::create_directories(root.File("site/sub folder"));
  std::filesystem::create_directory(root.File("site/Public_html"));
  ASSERT_TRUE(WriteWholeFile(Utf8ToUtf16(root.File("site/file one.txt")), "1"));
  ASSERT_TRUE(WriteWholeFile(Utf8ToUtf16(root.File("site/two.bin")), "22"));
  const Text listing = BrowseServer(session, Record("/site"), nullptr);
  ASSERT_FALSE(listing.starts_with(u"!!")) << Utf16ToUtf8(listing) << LogText();
  std::vector<std::string> names;
  const std::string text = Utf16ToUtf8(listing);
  std::size_t from = 0;
  for (std::size_t bar; (bar = text.find('|', from)) != std::string::npos; from = bar + 1) {
    names.push_back(text.substr(from, bar - from));
  }
  EXPECT_EQ(from, text.size());  // every name ends with "|"
  EXPECT_THAT(names, ::testing::UnorderedElementsAre("folder", "ftp_html", "one.txt", "two.bin"));
  EXPECT_EQ(session.controlConnection(), 0);
}

TEST_P(RealServerTest, EmptyFolderPathListsTheLoginFolder) {
  ASSERT_TRUE(WriteWholeFile(Utf8ToUtf16(root.File("top.txt")), "x"));
  EXPECT_EQ(BrowseServer(session, Record(""), nullptr), u"top.txt|") << LogText();
}

INSTANTIATE_TEST_SUITE_P(Modes, RealServerTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Active" : "Passive"; });

}  // namespace
}  // namespace wexmoor::testing
