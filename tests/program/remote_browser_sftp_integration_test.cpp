// The remote browser's listing of an SFTP server (real sshd): the folders
// of the address, an empty folder as an empty listing, and an unknown host
// key reported instead of a listing.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "peers/sshd_fixture.h"
#include "platform/code_page.h"
#include "program/certificate_trust.h"
#include "program/remote_browser.h"

namespace wexmoor {
namespace {

TEST(RemoteBrowserSftp, ListsTheAddressFolderAndReportsAnUnknownHostKey) {
  if (!testing::SshdServer::available()) GTEST_SKIP() << "needs root and /usr/sbin/sshd";
  StartSftpLibrary();
  testing::SshdServer server;
  ASSERT_TRUE(server.ok()) << server.error();
  std::filesystem::create_directories(server.home() + "/www/images");
  std::filesystem::create_directories(server.home() + "/www/docs");
  std::filesystem::create_directories(server.home() + "/www/docs/empty");

  SharedFlags flags;
  SessionHistory history;
  ListenerPortSequence ports;
  SystemClock clock;
  CertificateTrustRequests requests;
  RemoteBrowserContext context{flags, history, ports, clock, {}, &requests, {{}, {}, &requests}};
  ServerRecord record;
  record.name = u"srv";
  record.address = u"127.0.0.1/www";
  record.port = server.port();
  record.protocol = kProtocolSftp;
  record.login = Utf8ToUtf16(server.user());
  record.password = Utf8ToUtf16(server.password());
  record.timeOut = 10000;

  auto list = [&](const ServerRecord& shown) {
    std::promise<Text> done;
    RemoteBrowser browser(context, {}, [&](const Text& result) { done.set_value(result); });
    EXPECT_TRUE(browser.Start(shown));
    auto future = done.get_future();
    return future.wait_for(std::chrono::seconds(20)) == std::future_status::ready ? future.get() : u"(no answer)";
  };
  // No fingerprint stored: refused, and asked about once.
  EXPECT_TRUE(list(record).starts_with(u"!!"));
  const auto asked = requests.Take();
  ASSERT_TRUE(asked.has_value());
  EXPECT_EQ(asked->keyType, u"ssh-ed25519");
  EXPECT_EQ(Utf16ToUtf8(asked->summary.fingerprint), server.hostFingerprint());

  record.fingerprint = asked->summary.fingerprint;  // as Trust stores it
  const Text listing = list(record);
  EXPECT_TRUE(listing == u"docs|images|" || listing == u"images|docs|") << Utf16ToUtf8(listing);

  // An empty folder is an empty listing, not an error.
  record.address = u"127.0.0.1/www/docs/empty";
  EXPECT_EQ(list(record), u"");
}

}  // namespace
}  // namespace wexmoor
