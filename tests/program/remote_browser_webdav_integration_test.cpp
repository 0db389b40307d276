// The remote browser's listing of a WebDAV server (Apache mod_dav over
// HTTPS): an unknown certificate reported instead of a listing, then the
// folder of the address listed once its fingerprint is stored.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>

#include <unistd.h>

#include "peers/dav_server_fixture.h"
#include "peers/sshd_fixture.h"
#include "platform/code_page.h"
#include "program/certificate_trust.h"
#include "program/remote_browser.h"

namespace wexmoor {
namespace {

using testing::DavServer;

TEST(RemoteBrowserWebDav, ReportsAnUnknownCertificateThenListsTheAddressFolder) {
  if (!DavServer::available(DavServer::Kind::kApacheHttps)) GTEST_SKIP() << "needs apache2";
  DavServer server(DavServer::Kind::kApacheHttps);
  ASSERT_TRUE(server.ok()) << server.error();
  std::filesystem::create_directories(server.root() + "/www/images");
  std::filesystem::create_directories(server.root() + "/www/two words");
  std::ofstream(server.root() + "/www/a.txt") << "a";
  if (geteuid() == 0) testing::RunTool({"chown", "-R", "www-data:www-data", server.root()});

  SharedFlags flags;
  SessionHistory history;
  ListenerPortSequence ports;
  SystemClock clock;
  CertificateTrustRequests requests;
  RemoteBrowserContext context{flags, history, ports, clock, {}, &requests, {}};
  ServerRecord record;
  record.name = u"dav";
  record.address = u"127.0.0.1/www";
  record.port = server.port();
  record.protocol = kProtocolWebDavHttps;
  record.login = Utf8ToUtf16(server.user());
  record.password = Utf8ToUtf16(server.password());
  record.timeOut = 10;

  auto list = [&](const ServerRecord& shown) {
    std::promise<Text> done;
    RemoteBrowser browser(context, {}, [&](const Text& result) { done.set_value(result); });
    EXPECT_TRUE(browser.Start(shown));
    auto future = done.get_future();
    return future.wait_for(std::chrono::seconds(20)) == std::future_status::ready ? future.get() : u"(no answer)";
  };
  EXPECT_TRUE(list(record).starts_with(u"!!"));
  const auto asked = requests.Take();
  ASSERT_TRUE(asked.has_value());
  EXPECT_EQ(NormaliseFingerprint(asked->summary.fingerprint), NormaliseFingerprint(Utf8ToUtf16(server.fingerprint())));
  EXPECT_EQ(server.RequestCount(), 0);

  record.fingerprint = asked->summary.fingerprint;  // as Trust stores it
  const Text listing = list(record);
  for (const char16_t* name : {u"images|", u"two words|", u"a.txt|"}) {
    EXPECT_NE(listing.find(name), Text::npos) << Utf16ToUtf8(listing);
  }
  EXPECT_EQ(listing.find(u"www|"), Text::npos) << Utf16ToUtf8(listing);
}

}  // namespace
}  // namespace wexmoor
