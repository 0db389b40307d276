// The WebDAV client and its remote-file operations against real servers
// (Apache mod_dav over HTTP and HTTPS, lighttpd mod_webdav) on 127.0.0.1.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "peers/dav_server_fixture.h"
#include "peers/tcp_relay.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "spooler/webdav_remote_files.h"
#include "support/wait_for.h"
#include "webdav/dav_client.h"
#include "webdav/dav_listing.h"

namespace wexmoor::testing {
namespace {

namespace fs = std::filesystem;
using Kind = DavServer::Kind;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed * 7 + i / 4099) & 0xFF);
  return bytes;
}

DavEndpoint EndpointOf(const DavServer& server, int port = 0) {
  DavEndpoint endpoint;
  endpoint.tls = server.tls();
  endpoint.host = "127.0.0.1";
  endpoint.port = port != 0 ? port : server.port();
  endpoint.basePath = "/";
  return endpoint;
}

class DavServers : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    if (!DavServer::available(GetParam())) GTEST_SKIP() << "the server is not installed";
    server_ = std::make_unique<DavServer>(GetParam());
    ASSERT_TRUE(server_->ok()) << server_->error();
    client_.Configure(EndpointOf(*server_), server_->user(), server_->password(), 10);
    // The test's certificate is trusted by its fingerprint, as a stored one would be.
    client_.SetTrustCheck([this](const DavCertificate& certificate) {
      return certificate.verifiedByStore || !certificate.der.empty();
    });
  }

  int OpenFile(const std::string& bytes) {
    const std::string path = local_.File("f" + std::to_string(files_++));
    std::ofstream(path, std::ios::binary) << bytes;
    return ::open(path.c_str(), O_RDONLY);
  }

  SystemClock clock_;
  std::atomic<std::int64_t> lastProgress_{0};
  std::unique_ptr<DavServer> server_;
  DavClient client_{clock_, lastProgress_};
  TempFolder local_;
  int files_ = 0;
};

TEST_P(DavServers, WritesSizesRenamesOverAnExistingFileAndRemoves) {
  WebDavRemoteFiles remote(client_);
  ASSERT_TRUE(client_.Mkcol("/in box/").Success());
  remote.SetFolder("/in box/");
  TransferObserver observer;
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{300'000}}) {
    SCOPED_TRACE(size);
    const std::string bytes = Pattern(size, static_cast<unsigned>(size));
    const int fd = OpenFile(bytes);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(remote.Write(u"n\u00e9 1.part", fd, 0, static_cast<std::int64_t>(size), observer, nullptr).Done());
    ::close(fd);
    std::int64_t remoteSize = -1;
    ASSERT_TRUE(remote.Size(u"n\u00e9 1.part", remoteSize).Done());
    EXPECT_EQ(remoteSize, static_cast<std::int64_t>(size));
    // The final name exists from the round before: the MOVE replaces it.
    ASSERT_TRUE(remote.Rename(u"n\u00e9 1.part", u"n\u00e9 1").Done());
    EXPECT_TRUE(ReadAll(server_->root() + "/in box/n\xC3\xA9 1") == bytes);
    EXPECT_EQ(remote.Size(u"n\u00e9 1.part", remoteSize).reply, RemoteReply::kMissing);
  }
  EXPECT_TRUE(remote.Remove(u"n\u00e9 1").Done());
  std::int64_t remoteSize = -1;
  EXPECT_EQ(remote.Size(u"n\u00e9 1", remoteSize).reply, RemoteReply::kMissing);
  const int fd = OpenFile("x");
  EXPECT_EQ(remote.Write(u"late", fd, 1, 1, observer, nullptr).reply, RemoteReply::kUnsupported);
  ::close(fd);
}

TEST_P(DavServers, FoldersAreMadeOnceAndListedWithTheirFiles) {
  EXPECT_EQ(client_.Mkcol("/a/").status, 201);
  EXPECT_EQ(client_.Mkcol("/a/").status, 405);      // exists
  EXPECT_EQ(client_.Mkcol("/b/c/").status, 409);    // its parent is missing
  ASSERT_TRUE(client_.Mkcol("/a/sub/").Success());
  const int fd = OpenFile("12345");
  TransferObserver observer;
  ASSERT_TRUE(client_.Put("/a/f 1.txt", fd, 5, -1, &observer, nullptr, nullptr).Success());
  ::close(fd);
  const DavAnswer answer = client_.Propfind("/a/", 1);
  ASSERT_EQ(answer.status, 207);
  const auto listing = ParseMultistatus(answer.body);
  ASSERT_TRUE(listing);
  std::map<std::string, std::pair<bool, std::int64_t>> seen;
  for (const DavEntry& entry : listing->entries) seen[DavLastName(entry.path)] = {entry.folder, entry.length};
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_TRUE(seen["a"].first);
  EXPECT_TRUE(seen["sub"].first);
  EXPECT_EQ(seen["f 1.txt"], std::make_pair(false, std::int64_t{5}));
}

TEST_P(DavServers, AWrongPasswordIsRefusedWithoutRetrying) {
  DavClient wrong(clock_, lastProgress_);
  wrong.Configure(EndpointOf(*server_), server_->user(), "not-the-password", 10);
  wrong.SetTrustCheck([](const DavCertificate&) { return true; });
  const int before = server_->RequestCount();
  const DavAnswer answer = wrong.Propfind("/", 0);
  EXPECT_EQ(answer.status, 401);
  EXPECT_EQ(DavRemoteAnswer(answer).reply, RemoteReply::kServerGone);
  // One request: Basic goes with it. A second only where the HTTP/2 answer
  // came before the body went and was lost with the reset stream.
  const bool askedAgain = wrong.Log().Get().find(u"asked again over HTTP/1.1") != Text::npos;
  EXPECT_TRUE(WaitFor([&] { return server_->RequestCount() - before >= 1; }));
  EXPECT_EQ(server_->RequestCount() - before, askedAgain ? 2 : 1);
  EXPECT_EQ(wrong.Log().Get().find(u"not-the-password"), Text::npos);
}

TEST_P(DavServers, ACutUploadFailsAsTheServersAndGoesAgainWhole) {
  TcpRelay relay(server_->port());
  DavClient viaRelay(clock_, lastProgress_);
  viaRelay.Configure(EndpointOf(*server_, relay.port()), server_->user(), server_->password(), 10);
  viaRelay.SetTrustCheck([](const DavCertificate&) { return true; });
  WebDavRemoteFiles remote(viaRelay);
  const std::string bytes = Pattern(8 << 20, 3);
  // Cut once a quarter of the file went; nothing more goes before the cut.
  class CutAfter : public TransferObserver {
   public:
    CutAfter(TcpRelay& relay, std::size_t limit) : relay_(relay), limit_(limit) {}
    bool BeforeBlock(std::size_t) override {
      return !cut_ || WaitFor([this] { return relay_.cutsDone() > 0; }, std::chrono::seconds(5));
    }
    void AfterBlock(const char*, std::size_t size) override {
      if ((sent_ += size) > limit_ && !cut_) {
        cut_ = true;
        relay_.Cut();
      }
    }
    TcpRelay& relay_;
    std::size_t limit_;
    std::size_t sent_ = 0;
    bool cut_ = false;
  } cutter(relay, bytes.size() / 4);
  int fd = OpenFile(bytes);
  const RemoteAnswer cut = remote.Write(u"big.part", fd, 0, static_cast<std::int64_t>(bytes.size()), cutter, nullptr);
  EXPECT_EQ(cut.reply, RemoteReply::kServerGone) << Utf16ToUtf8(cut.message);
  TransferObserver plain;
  const RemoteAnswer again = remote.Write(u"big.part", fd, 0, static_cast<std::int64_t>(bytes.size()), plain, nullptr);
  ::close(fd);
  ASSERT_TRUE(again.Done()) << Utf16ToUtf8(again.message) << server_->ServerLog();
  EXPECT_TRUE(ReadAll(server_->root() + "/big.part") == bytes);
}

TEST_P(DavServers, AStopEndsAHeldRequest) {
  TcpRelay relay(server_->port());
  DavClient viaRelay(clock_, lastProgress_);
  viaRelay.Configure(EndpointOf(*server_, relay.port()), server_->user(), server_->password(), 30);
  viaRelay.SetTrustCheck([](const DavCertificate&) { return true; });
  relay.Hold(true);
  std::stop_source stop;
  viaRelay.SetStopToken(stop.get_token());
  std::atomic<bool> done{false};
  DavAnswer answer;
  std::thread request([&] {
    answer = viaRelay.Propfind("/", 0);
    done = true;
  });
  EXPECT_TRUE(WaitFor([&] { return relay.accepted() > 0; }));
  stop.request_stop();
  EXPECT_TRUE(WaitFor([&] { return done.load(); }, std::chrono::seconds(2)));
  request.join();
  EXPECT_EQ(answer.failure, DavFailure::kStopped);
}

INSTANTIATE_TEST_SUITE_P(Servers, DavServers, ::testing::Values(Kind::kApacheHttp, Kind::kApacheHttps, Kind::kLighttpd),
                         [](const auto& info) {
                           switch (info.param) {
                             case Kind::kApacheHttp: return std::string("ApacheHttp");
                             case Kind::kApacheHttps: return std::string("ApacheHttps");
                             default: return std::string("Lighttpd");
                           }
                         });

TEST(DavLogin, ADigestServerIsLoggedInToByNegotiation) {
  if (!DavServer::available(Kind::kApacheHttp)) GTEST_SKIP() << "needs apache2";
  DavServer server(Kind::kApacheHttp, {.digest = true});
  ASSERT_TRUE(server.ok()) << server.error();
  SystemClock clock;
  std::atomic<std::int64_t> lastProgress{0};
  DavClient client(clock, lastProgress);
  client.Configure(EndpointOf(server), server.user(), server.password(), 10);
  EXPECT_EQ(client.Propfind("/", 0).status, 207) << server.ServerLog() << Utf16ToUtf8(client.Log().Get());
  EXPECT_TRUE(client.Mkcol("/d/").Success());  // the scheme holds for what follows
  DavClient wrong(clock, lastProgress);
  wrong.Configure(EndpointOf(server), server.user(), "not-it", 10);
  EXPECT_EQ(wrong.Propfind("/", 0).status, 401);
}

TEST(DavTrust, AnUntrustedCertificateIsRefusedBeforeTheLoginAndTakenByItsFingerprint) {
  if (!DavServer::available(Kind::kApacheHttps)) GTEST_SKIP() << "needs apache2";
  DavServer server(Kind::kApacheHttps);
  ASSERT_TRUE(server.ok()) << server.error();
  SystemClock clock;
  std::atomic<std::int64_t> lastProgress{0};
  DavClient client(clock, lastProgress);
  DavCertificate seen;
  std::string stored;
  client.SetTrustCheck([&](const DavCertificate& certificate) {
    seen = certificate;
    return !stored.empty() && stored == "der:" + certificate.der;
  });
  client.Configure(EndpointOf(server), server.user(), server.password(), 10);
  const DavAnswer refused = client.Propfind("/", 0);
  EXPECT_EQ(refused.failure, DavFailure::kUntrusted);
  EXPECT_FALSE(seen.verifiedByStore);
  EXPECT_FALSE(seen.der.empty());
  EXPECT_EQ(server.RequestCount(), 0);  // nothing was asked, no login sent
  stored = "der:" + seen.der;
  client.Configure(EndpointOf(server), server.user(), server.password(), 10);
  EXPECT_EQ(client.Propfind("/", 0).status, 207);
}

}  // namespace
}  // namespace wexmoor::testing
