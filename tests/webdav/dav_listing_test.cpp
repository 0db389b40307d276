// Reading multistatus answers, and where a record's address points.
#include <gtest/gtest.h>

#include "spooler/webdav_remote_files.h"
#include "webdav/dav_address.h"
#include "webdav/dav_listing.h"

namespace wexmoor {
namespace {

constexpr char kTwoEntries[] = R"(<?xml version="1.0" encoding="utf-8"?>
<D:multistatus xmlns:D="DAV:" xmlns:x="urn:other">
 <D:response><D:href>/dav/Scans/</D:href>
  <D:propstat><D:prop><D:resourcetype><D:collection/></D:resourcetype></D:prop>
   <D:status>HTTP/1.1 200 OK</D:status></D:propstat>
  <D:propstat><D:prop><D:getcontentlength/></D:prop><D:status>HTTP/1.1 404 Not Found</D:status></D:propstat>
 </D:response>
 <D:response><D:href>https://cloud.example.org:8443/dav/Scans/a%20b%C3%A9.pdf</D:href>
  <D:propstat><D:prop><D:resourcetype/><D:getcontentlength> 12345 </D:getcontentlength><x:collection/></D:prop>
   <D:status>HTTP/1.1 200 OK</D:status></D:propstat>
 </D:response>
</D:multistatus>)";

TEST(DavListing, ReadsFoldersFilesAndLengthsWhateverThePrefix) {
  const auto listing = ParseMultistatus(kTwoEntries);
  ASSERT_TRUE(listing);
  ASSERT_EQ(listing->entries.size(), 2u);
  EXPECT_EQ(listing->entries[0].path, "/dav/Scans/");
  EXPECT_TRUE(listing->entries[0].folder);
  EXPECT_EQ(listing->entries[0].length, -1);  // its length came with a 404
  EXPECT_EQ(listing->entries[1].path, "/dav/Scans/a b\xC3\xA9.pdf");
  EXPECT_FALSE(listing->entries[1].folder);  // another namespace's "collection"
  EXPECT_EQ(listing->entries[1].length, 12345);
  EXPECT_EQ(DavLastName(listing->entries[0].path), "Scans");
  // Another prefix, or none, for the same namespace.
  std::string other = kTwoEntries;
  other.replace(other.find("xmlns:D="), 8, "xmlns=");
  for (std::size_t at; (at = other.find("D:")) != std::string::npos;) other.replace(at, 2, "");
  const auto plain = ParseMultistatus(other);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->entries.size(), 2u);
}

TEST(DavListing, RefusesWhatIsNotAWellFormedMultistatus) {
  const char* cases[] = {
      "",
      "<html><body>Login</body></html>",
      "<D:multistatus xmlns:D=\"DAV:\"><D:response>",                       // cut
      "<multistatus><response><href>/a</href></response></multistatus>",  // no DAV: namespace
      "<?xml version=\"1.0\"?><!DOCTYPE m [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
      "<D:multistatus xmlns:D=\"DAV:\"><D:response><D:href>&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;</D:href>"
      "</D:response></D:multistatus>",  // an entity grown past any href
  };
  for (const char* xml : cases) EXPECT_FALSE(ParseMultistatus(xml)) << xml;
  std::string deep = "<D:multistatus xmlns:D=\"DAV:\">";
  for (int i = 0; i < 100; ++i) deep += "<D:x>";
  EXPECT_FALSE(ParseMultistatus(deep));
}

TEST(DavAddress, RecordsPointAtTheirServerAndPath) {
  struct Case {
    std::int32_t protocol;
    const char16_t* address;
    std::int32_t port;
    const char* url;
  } cases[] = {
      {kProtocolWebDavHttps, u"cloud.example.org/remote.php/dav/files/anna/Scans", 21,
       "https://cloud.example.org/remote.php/dav/files/anna/Scans/"},
      {kProtocolWebDavHttps, u"cloud.example.org", 0, "https://cloud.example.org/"},
      {kProtocolWebDavHttp, u"nas\\share\\in box", 21, "http://nas/share/in%20box/"},
      {kProtocolWebDavHttp, u"[::1]/d", 8080, "http://[::1]:8080/d/"},
      {kProtocolWebDavHttps, u"::1//d/", 443, "https://[::1]/d/"},
      {kProtocolWebDavHttps, u"h/\u00e9t\u00e9", 8443, "https://h:8443/%C3%A9t%C3%A9/"},
  };
  for (const Case& c : cases) {
    ServerRecord record;
    record.protocol = c.protocol;
    record.address = c.address;
    record.port = c.port;
    const DavEndpoint endpoint = DavEndpointFor(record);
    EXPECT_EQ(endpoint.Url(endpoint.basePath), c.url);
  }
}

TEST(DavAddress, OnlyLocalNetworkHostsMayGetBasicOverPlainHttp) {
  for (const char* local : {"localhost", "127.0.0.1", "127.8.9.1", "10.0.0.5", "172.16.0.1", "172.31.255.255",
                            "192.168.1.20", "169.254.3.3", "[::1]", "::1", "fd12::5", "[fe80::1]"}) {
    EXPECT_TRUE(IsLocalNetworkHost(local)) << local;
  }
  for (const char* remote : {"cloud.example.org", "8.8.8.8", "172.32.0.1", "172.15.0.1", "192.169.0.1", "11.0.0.1",
                             "[2001:db8::1]", "localhost.example.org", "127.0.0.1.example.org", ""}) {
    EXPECT_FALSE(IsLocalNetworkHost(remote)) << remote;
  }
}

TEST(DavAnswers, ReadForThePolicy) {
  struct Case {
    DavFailure failure;
    int status;
    RemoteReply reply;
  } cases[] = {
      {DavFailure::kNone, 201, RemoteReply::kDone},        {DavFailure::kNone, 204, RemoteReply::kDone},
      {DavFailure::kNone, 207, RemoteReply::kDone},        {DavFailure::kNone, 404, RemoteReply::kMissing},
      {DavFailure::kNone, 412, RemoteReply::kExists},      {DavFailure::kNone, 405, RemoteReply::kUnsupported},
      {DavFailure::kNone, 501, RemoteReply::kUnsupported}, {DavFailure::kNone, 403, RemoteReply::kRefused},
      {DavFailure::kNone, 409, RemoteReply::kRefused},     {DavFailure::kNone, 413, RemoteReply::kRefused},
      {DavFailure::kNone, 507, RemoteReply::kRefused},     {DavFailure::kNone, 401, RemoteReply::kServerGone},
      {DavFailure::kNone, 500, RemoteReply::kServerGone},  {DavFailure::kNone, 503, RemoteReply::kServerGone},
      {DavFailure::kConnection, 0, RemoteReply::kServerGone}, {DavFailure::kUntrusted, 0, RemoteReply::kServerGone},
      {DavFailure::kStopped, 0, RemoteReply::kStopped},    {DavFailure::kRedirect, 302, RemoteReply::kRefused},
  };
  for (const Case& c : cases) {
    DavAnswer answer;
    answer.failure = c.failure;
    answer.status = c.status;
    answer.words = "Insufficient Storage";
    EXPECT_EQ(DavRemoteAnswer(answer).reply, c.reply) << c.status;
  }
  DavAnswer full;
  full.status = 507;
  full.words = "Insufficient Storage";
  EXPECT_EQ(DavRemoteAnswer(full).message, u"HTTP 507 Insufficient Storage");
}

}  // namespace
}  // namespace wexmoor
