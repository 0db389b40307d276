#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "peers/fake_http_server.h"
#include "peers/test_paths.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "http/http_request.h"
#include "http/http_retry.h"

namespace wexmoor {
namespace {

using testing::FakeHttpServer;
using testing::HttpRoute;

class RecordingErrorBoxes : public HttpErrorBoxes {
 public:
  void PostMessage(const Text& title, const Text& text) override {
    std::lock_guard lock(mutex);
    messages.push_back(title + u"|" + text);
  }
  std::vector<Text> Messages() {
    std::lock_guard lock(mutex);
    return messages;
  }
  std::mutex mutex;
  std::vector<Text> messages;
};

class HttpTest : public ::testing::Test {
 protected:
  HttpRoute Body(std::string body) {
    HttpRoute r;
    r.body = std::move(body);
    return r;
  }
  Text Url(const std::string& path) const { return AsciiToText(server.BaseUrl() + path); }
  std::string TempHtm() const { return ReadWholeFile(AsciiToText(folder.File("temp.htm"))).value_or("<none>"); }

  FakeHttpServer server;
  testing::TempFolder folder;
  SystemClock clock;
  RecordingErrorBoxes prompts;
  HttpState state{clock, HttpOptions{AsciiToText(folder.path()), 30000, 64u << 20, &prompts}};
};

TEST(HttpAddressTest, PreparesTheAddressLikeTheProgramAlwaysDid) {
  auto a = PrepareHttpAddress(u"\"http://example.test:81/a b//c.htm\"");
  EXPECT_EQ(a.host, u"example.test:81");
  EXPECT_EQ(a.path, u"/a%20b/c.htm");
  EXPECT_EQ(PrepareHttpAddress(u"example.test").path, u"/");
  EXPECT_EQ(PrepareHttpAddress(u"host\\dir\\f.txt").path, u"/dir/f.txt");
  EXPECT_EQ(HttpErrorText(7).substr(0, 25), u"Erreur N° / Error N# 7 : ");
}

TEST_F(HttpTest, DirectFormWithOrWithoutSchemeQuotesAndSpaces) {
  server.SetRoute("/dir/a%20b.txt", Body("hello"));
  const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());
  EXPECT_EQ(HttpGet(state, AsciiToText("\"" + server.BaseUrl() + "/dir/a b.txt\"")), u"hello");
  state.SetHttpReferrer({});
  EXPECT_EQ(HttpGet(state, AsciiToText(hostPort + "/dir/a b.txt")), u"hello");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& r : requests) {
    EXPECT_EQ(r.requestLine, "GET /dir/a%20b.txt HTTP/1.1");
    EXPECT_EQ(r.Header("User-Agent"), "Mozilla/4.0");
    EXPECT_EQ(r.Header("Host"), hostPort);
    EXPECT_FALSE(r.HasHeader("Referer"));
    EXPECT_FALSE(r.HasHeader("Content-Type"));
  }
  EXPECT_EQ(TempHtm(), "hello");
  EXPECT_EQ(state.HttpReferrer(), AsciiToText(server.BaseUrl() + "/dir/a%20b.txt"));
}

TEST_F(HttpTest, ReferrerFormAndRedirectCarriesTheFinalAddressForward) {
  HttpRoute moved;
  moved.redirectTo = "/new/place.txt";
  server.SetRoute("/old.txt", moved);
  server.SetRoute("/new/place.txt", Body("moved here"));
  server.SetRoute("/next.txt", Body("next"));

  state.SetHttpReferrer(u"http://site.test/wexmoor.htm");
  EXPECT_EQ(HttpGet(state, Url("/old.txt")), u"moved here");
  EXPECT_EQ(state.HttpReferrer(), Url("/new/place.txt"));
  EXPECT_EQ(HttpGet(state, Url("/next.txt")), u"next");

  auto first = server.RequestsFor("/old.txt");
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].Header("Referer"), "http://site.test/wexmoor.htm");
  EXPECT_EQ(first[0].Header("Content-Type"), "application/x-www-form-urlencoded");
  auto next = server.RequestsFor("/next.txt");
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(next[0].Header("Referer"), server.BaseUrl() + "/new/place.txt");
}

TEST_F(HttpTest, BodyIsCutAtZeroByteReadAsAnsiAndKeptWholeInTempFile) {
  server.SetRoute("/z", Body(std::string("caf\xE9\0tail", 9)));
  EXPECT_EQ(HttpGet(state, Url("/z")), u"café");
  EXPECT_EQ(TempHtm(), std::string("caf\xE9\0tail", 9));
}

TEST_F(HttpTest, FailuresLeaveTempFileAloneAndNameTheAddress) {
  WriteWholeFile(AsciiToText(folder.File("temp.htm")), "before");
  HttpRoute big = Body(std::string(3000, 'x'));
  server.SetRoute("/big", big);
  HttpState small(clock, HttpOptions{AsciiToText(folder.path()), 30000, 1000, &prompts});
  EXPECT_EQ(HttpGet(small, Url("/big")), u"");
  const Text hostPort = AsciiToText("127.0.0.1:" + std::to_string(server.port()));
  EXPECT_EQ(small.LastHttpError().substr(0, 40), (u"Unable to open " + hostPort + u"/big. : Erreur N").substr(0, 40));
  EXPECT_EQ(TempHtm(), "before");
  EXPECT_TRUE(prompts.Messages().empty());

  // Nothing listens on the port of a closed server.
  int deadPort = 0;
  {
    FakeHttpServer gone;
    deadPort = gone.port();
  }
  small.SetShowHttpErrors(true);
  EXPECT_EQ(HttpGet(small, AsciiToText("http://127.0.0.1:" + std::to_string(deadPort) + "/x")), u"");
  const Text expected = AsciiToText("Unable to open 127.0.0.1:" + std::to_string(deadPort) + ". : Erreur N");
  EXPECT_EQ(small.LastHttpError().substr(0, expected.size()), expected);
  auto messages = prompts.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].substr(0, 6), u"Error|");
  EXPECT_EQ(TempHtm(), "before");
}

TEST_F(HttpTest, EmptyBodyIsAskedForSixTimes) {
  server.SetRoute("/empty", Body(""));
  EXPECT_EQ(HttpGetWithRetry(state, Url("/empty")), u"");
  EXPECT_EQ(server.RequestsFor("/empty").size(), 6u);
  EXPECT_EQ(TempHtm(), "");
  EXPECT_TRUE(state.ShowHttpErrors());
}

TEST_F(HttpTest, SilentServerIsAbandonedAndAskedAgain) {
  HttpRoute silent;
  silent.silentMs = -1;
  server.SetRouteSequence("/slow", {silent, Body("at last")});
  state.SetInactivityLimitMs(300);
  EXPECT_EQ(HttpGetWithRetry(state, Url("/slow")), u"at last");
  EXPECT_EQ(server.RequestsFor("/slow").size(), 2u);
  EXPECT_TRUE(prompts.Messages().empty());
}

TEST_F(HttpTest, SteadyDripIsNeverCutAndErrorsAreRetried) {
  HttpRoute drip = Body(std::string(40, 'd'));
  drip.dripBytes = 4;
  drip.dripPauseMs = 100;  // 1 s in all, each pause well inside the limit
  server.SetRoute("/drip", drip);
  state.SetInactivityLimitMs(400);
  EXPECT_EQ(HttpGetWithRetry(state, Url("/drip")), Text(40, u'd'));
  EXPECT_EQ(server.RequestsFor("/drip").size(), 1u);

  int deadPort = 0;
  {
    FakeHttpServer gone;
    deadPort = gone.port();
  }
  EXPECT_EQ(HttpGetWithRetry(state, AsciiToText("http://127.0.0.1:" + std::to_string(deadPort) + "/x")), u"");
  EXPECT_EQ(prompts.Messages().size(), 6u);
}

TEST_F(HttpTest, StopFromOutsideEndsAHangingRequestQuickly) {
  HttpRoute silent;
  silent.silentMs = -1;
  server.SetRoute("/hang", silent);
  std::stop_source stop;
  Text result = u"unset";
  std::thread waiter([&] { result = HttpGetWithRetry(state, Url("/hang"), stop.get_token()); });
  while (server.RequestsFor("/hang").empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto start = std::chrono::steady_clock::now();
  stop.request_stop();
  waiter.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(result, u"");
  EXPECT_TRUE(prompts.Messages().empty());
}

}  // namespace
}  // namespace wexmoor
