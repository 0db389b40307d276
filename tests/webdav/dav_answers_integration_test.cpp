// Answers a real server is hard to make give, from the scripted HTTP server:
// redirects (followed on this server only), the modification time taken or
// not, a full server's words, a folder refused because a neighbour made it.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <fstream>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "peers/fake_http_server.h"
#include "peers/test_paths.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "spooler/webdav_remote_files.h"
#include "spooler/webdav_upload_session.h"
#include "webdav/dav_client.h"

namespace wexmoor::testing {
namespace {

class DavAnswers : public ::testing::Test {
 protected:
  void SetUp() override {
    DavEndpoint endpoint;
    endpoint.tls = false;
    endpoint.host = "127.0.0.1";
    endpoint.port = server_.port();
    client_.Configure(endpoint, "anna", "pw", 5);
  }
  static HttpRoute Answer(int status, std::string reason, std::string body = {}) {
    HttpRoute route;
    route.status = status;
    route.reason = std::move(reason);
    route.body = std::move(body);
    return route;
  }
  // A depth-0 PROPFIND answer: a folder, or a file of `length` bytes;
  // nothing for an empty listing.
  static HttpRoute Listed(const std::string& href = {}, std::int64_t length = -1) {
    std::string body = "<d:multistatus xmlns:d=\"DAV:\">";
    if (!href.empty()) {
      body += "<d:response><d:href>" + href + "</d:href><d:propstat><d:prop>" +
              (length < 0 ? "<d:resourcetype><d:collection/></d:resourcetype>"
                          : "<d:resourcetype/><d:getcontentlength>" + std::to_string(length) + "</d:getcontentlength>") +
              "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
    }
    return Answer(207, "Multi-Status", body + "</d:multistatus>");
  }
  int OpenFile(const std::string& bytes) {
    std::ofstream(folder_.File("f"), std::ios::binary) << bytes;
    return ::open(folder_.File("f").c_str(), O_RDONLY);
  }

  FakeHttpServer server_;
  SystemClock clock_;
  std::atomic<std::int64_t> progress_{0};
  DavClient client_{clock_, progress_};
  TempFolder folder_;
};

TEST_F(DavAnswers, RedirectsAreFollowedOnThisServerAndSchemeOnly) {
  HttpRoute moved = Answer(301, "Moved");
  moved.redirectTo = server_.BaseUrl() + "/new/";
  server_.SetRoute("/old/", moved);
  server_.SetRoute("/new/", Listed());
  EXPECT_EQ(client_.Propfind("/old/", 0).status, 207);
  EXPECT_EQ(server_.RequestsFor("/new/").size(), 1u);
  EXPECT_EQ(server_.RequestsFor("/new/").front().requestLine, "PROPFIND /new/ HTTP/1.1");

  for (const std::string& away : {"https://127.0.0.1:" + std::to_string(server_.port()) + "/x/",
                                 std::string("http://elsewhere.example/x/"), std::string("http://127.0.0.1:1/x/")}) {
    HttpRoute elsewhere;
    elsewhere.status = 302;
    elsewhere.redirectTo = away;
    server_.SetRoute("/away/", elsewhere);
    const DavAnswer answer = client_.Propfind("/away/", 0);
    EXPECT_EQ(answer.failure, DavFailure::kRedirect) << away;
    EXPECT_EQ(DavRemoteAnswer(answer).reply, RemoteReply::kRefused);
  }
}

TEST_F(DavAnswers, TheTimeHoldsWhereTheServerSaysItTookItAndFullServersSpeak) {
  WebDavRemoteFiles remote(client_);
  HttpRoute taken = Answer(201, "Created");
  taken.headers = {{"X-OC-MTime", "accepted"}};
  server_.SetRoute("/a.part", taken);
  const HttpRoute moved = Answer(201, "Created");
  server_.SetRoute("/a", moved);
  const int fd = OpenFile("12345");
  struct stat info {};
  ASSERT_EQ(::fstat(fd, &info), 0);
  TransferObserver observer;
  EXPECT_FALSE(remote.Offers().setTime);
  ASSERT_TRUE(remote.Write(u"a.part", fd, 0, 5, observer, nullptr).Done());
  const auto put = server_.RequestsFor("/a.part").front();
  EXPECT_EQ(put.Header("Content-Length"), "5");
  EXPECT_FALSE(put.HasHeader("Transfer-Encoding"));
  EXPECT_EQ(put.Header("X-OC-Mtime"), std::to_string(info.st_mtime));
  EXPECT_EQ(put.Header("Authorization").rfind("Basic ", 0), 0u);  // local network: Basic at once
  ASSERT_TRUE(remote.Rename(u"a.part", u"a").Done());
  EXPECT_EQ(server_.RequestsFor("/a.part").back().Header("Overwrite"), "T");
  EXPECT_TRUE(remote.Offers().setTime);
  EXPECT_TRUE(remote.SetTime(u"a", info.st_mtime).Done());
  EXPECT_EQ(remote.SetTime(u"a", info.st_mtime + 1).reply, RemoteReply::kUnsupported);

  server_.SetRoute("/b", moved);  // no "accepted": the server keeps its own time
  ASSERT_TRUE(remote.Write(u"b", fd, 0, 5, observer, nullptr).Done());
  EXPECT_EQ(remote.SetTime(u"b", info.st_mtime).reply, RemoteReply::kUnsupported);

  server_.SetRoute("/c", Answer(507, "Insufficient Storage"));
  const RemoteAnswer answer = remote.Write(u"c", fd, 0, 5, observer, nullptr);
  ::close(fd);
  EXPECT_EQ(answer.reply, RemoteReply::kRefused);
  EXPECT_EQ(answer.message, u"HTTP 507 Insufficient Storage");
}

TEST_F(DavAnswers, AFolderRefusedBecauseANeighbourMadeItIsEntered) {
  // Apache answers 403 to a MKCOL that lost the race to another session's.
  server_.SetRoute("/", Listed());
  server_.SetRouteSequence("/a/", {Answer(403, "Forbidden"), Listed("/a/")});
  server_.SetRouteSequence("/a/f.part", {Answer(201, "Created"), Listed("/a/f.part", 5), Answer(201, "Created")});
  server_.SetRoute("/a/f", Listed("/a/f", 5));
  OpenFile("12345");
  ServerRecord record;
  record.name = u"dav";
  record.address = u"127.0.0.1";
  record.port = server_.port();
  record.protocol = kProtocolWebDavHttp;
  record.timeOut = 5;
  WebDavUploadSession session(clock_, progress_, nullptr);
  ASSERT_EQ(session.Open(record, nullptr), SessionOpening::kOpen);
  EXPECT_EQ(session.Upload(Utf8ToUtf16(folder_.File("f")), u"a/", nullptr, nullptr), EntryOutcome::kSent)
      << Utf16ToUtf8(session.TakeLog());
  const auto asked = server_.RequestsFor("/a/");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].requestLine, "PROPFIND /a/ HTTP/1.1");
}

}  // namespace
}  // namespace wexmoor::testing
