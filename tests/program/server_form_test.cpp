#include "program/server_form.h"

#include "program/certificate_trust.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/code_page.h"

namespace wexmoor {
namespace {

ServerRecord Server(const char* name, const char* address) {
  ServerRecord record;
  record.name = AsciiToText(name);
  record.address = AsciiToText(address);
  return record;
}

void FillTable(ServerTable& table, int count) {
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    table.Set(i, Server(("server" + n).c_str(), ("host" + n).c_str()));
  }
}

TEST(ServerEditorTest, NewServerWorksOnTheFirstFreeSlotAndCancelLeavesTheListAlone) {
  ServerTable table;
  FillTable(table, 3);
  {
    ServerEditor editor(table, -1);
    ASSERT_TRUE(editor.Ready());
    EXPECT_EQ(editor.Slot(), 4);
    editor.Form().name = u"typed but cancelled";
    // Cancel: the editor goes away without Accept.
  }
  EXPECT_EQ(table.Count(), 3);
  EXPECT_TRUE(table.Get(4).name.empty());

  ServerEditor again(table, -1);
  again.Form().name = u"fourth";
  again.Form().address = u"ftp://host4/in";
  ASSERT_TRUE(again.Accept());
  EXPECT_EQ(table.Count(), 4);
  EXPECT_EQ(table.Get(4).address, u"host4/in");
}

TEST(ServerEditorTest, FullTableOpensNothingAndOutOfRangeSlotsAreRefused) {
  ServerTable table;
  FillTable(table, ServerTable::kMaxServers);
  ServerEditor editor(table, -1);
  EXPECT_FALSE(editor.Ready());
  EXPECT_FALSE(editor.Accept());
  EXPECT_EQ(SlotToEdit(table, 50), 50);
  EXPECT_EQ(SlotToEdit(table, 0), 0);
  EXPECT_EQ(SlotToEdit(table, 51), 0);
}

TEST(ServerEditorTest, EmptyNameIsRefusedSoTheServersAfterItStayListed) {
  ServerTable table;
  FillTable(table, 3);
  ServerEditor editor(table, 2);
  editor.Form().name.clear();
  EXPECT_FALSE(editor.Accept());
  EXPECT_EQ(table.Count(), 3);
  EXPECT_EQ(table.Get(2).name, u"server2");
}

// The queue finds its server by the exact name: a second server of that name
// would never get its files, so "OK" refuses it (the slot's own name is fine).
TEST(ServerEditorTest, ANameAnotherServerHasIsRefused) {
  struct Case {
    int slot;
    const char16_t* name;
    ServerEditor::Refusal refusal;
  };
  const Case cases[] = {
      {-1, u"server2", ServerEditor::Refusal::kNameTaken},  // new, taken
      {3, u"server1", ServerEditor::Refusal::kNameTaken},   // renamed onto another
      {2, u"server2", ServerEditor::Refusal::kNone},        // its own name
      {-1, u"Server2", ServerEditor::Refusal::kNone},       // case counts, as in the lookup
      {-1, u"server2 ", ServerEditor::Refusal::kNone},
      {-1, u"", ServerEditor::Refusal::kEmptyName},
  };
  for (const Case& c : cases) {
    ServerTable table;
    FillTable(table, 3);
    ServerEditor editor(table, c.slot);
    editor.Form().name = c.name;
    EXPECT_EQ(editor.Accept(), c.refusal == ServerEditor::Refusal::kNone) << Utf16ToUtf8(c.name);
    EXPECT_EQ(editor.LastRefusal(), c.refusal) << Utf16ToUtf8(c.name);
    if (c.refusal != ServerEditor::Refusal::kNone) {
      EXPECT_EQ(table.Count(), 3);
      EXPECT_EQ(table.Get(c.slot < 0 ? 3 : c.slot).name, u"server" + IntToText(c.slot < 0 ? 3 : c.slot));
    }
  }
}

// Settings the dialog has no field for survive an edit; a new server starts
// with the temporary name on.
TEST(ServerEditorTest, EditingKeepsWhatTheDialogDoesNotShow) {
  ServerTable table;
  ServerRecord record = Server("direct", "host/in");
  record.tempName = 0;
  record.fingerprint = u"ab:cd";
  table.Set(1, record);
  ServerEditor editor(table, 1);
  editor.Form().address = u"host/elsewhere";
  ASSERT_TRUE(editor.Accept());
  EXPECT_EQ(table.Get(1).tempName, 0);
  EXPECT_EQ(table.Get(1).fingerprint, u"ab:cd");

  ServerEditor fresh(table, -1);
  fresh.Form().name = u"new";
  ASSERT_TRUE(fresh.Accept());
  EXPECT_EQ(table.Get(2).tempName, 1);
}

TEST(ServerEditorTest, OpeningWritesPortAndTimeOutDefaultsIntoTheSlotEvenWhenCancelled) {
  ServerTable table;
  ServerRecord record = Server("zero", "host");
  record.port = 0;
  record.timeOut = 0;
  table.Set(1, record);
  ServerEditor editor(table, 1);
  EXPECT_EQ(editor.Form().port, u"21");
  EXPECT_EQ(editor.Form().timeOut, u"10");
  EXPECT_EQ(table.Get(1).port, 21);
  EXPECT_EQ(table.Get(1).timeOut, 10000);
}

TEST(ServerFormTest, ReadingTheFormCleansTheAddressAndConvertsNumbers) {
  struct Case {
    const char16_t* typed;
    const char16_t* stored;
  } cases[] = {
      {u"ftp://host.example/www/", u"host.example/www/"},
      {u"ftp://", u"ftp://"},       // nothing after the "//": kept as typed
      {u"junk ftp://ab", u"ab"},    // everything before the "//" goes too
      {u"host/a//bc//de", u"bc//de"},  // the first "//" decides
      {u"host/www", u"host/www"},
  };
  for (const Case& c : cases) {
    ServerForm form;
    form.address = c.typed;
    const ServerRecord record = ReadServerForm(form);
    EXPECT_EQ(record.address, c.stored) << Utf16ToUtf8(c.typed);
    EXPECT_EQ(form.address, c.stored) << "the field shows the stored address";
  }

  ServerForm form;
  form.name = u"n";
  form.port = u"2121";
  form.timeOut = u"25";
  form.active = true;
  form.useUtf8Opt = true;
  ServerRecord record = ReadServerForm(form);
  EXPECT_EQ(record.port, 2121);
  EXPECT_EQ(record.timeOut, 25000);
  EXPECT_EQ(record.active, 1);
  EXPECT_EQ(record.ipRouter, 0);
  EXPECT_EQ(record.useUtf8, 0);
  EXPECT_EQ(record.useUtf8Opt, 1);

  form.port = u"abc";
  form.timeOut = u"99999999999";
  record = ReadServerForm(form);
  EXPECT_EQ(record.port, 0);
  EXPECT_GT(record.timeOut, 0) << "a huge time-out must not wrap to a negative value";

  // Connections: 1 to 10 as typed, anything else the default 2, shown back.
  for (const auto& [typed, stored] : {std::pair{u"1", 1}, {u"10", 10}, {u"0", 2}, {u"11", 2}, {u"", 2}, {u"x", 2}}) {
    form.connections = typed;
    record = ReadServerForm(form);
    EXPECT_EQ(record.connections, stored) << Utf16ToUtf8(typed);
    EXPECT_EQ(FormFromRecord(record).connections, IntToText(stored));
  }
}

TEST(ServerFormTest, CloneTakesTheOtherServersValuesWithTheNameFollowedByTwo) {
  ServerTable table;
  FillTable(table, 2);
  ServerRecord second = table.Get(2);
  second.login = u"bob";
  second.port = 990;
  second.active = 1;
  second.ipRouter = 1;
  second.timeOut = 7000;
  table.Set(2, second);

  ServerEditor editor(table, -1);
  ASSERT_EQ(editor.CloneNames().size(), 2u);
  editor.CloneFrom(1);
  const ServerForm& form = editor.Form();
  EXPECT_EQ(form.name, u"server22");
  EXPECT_EQ(form.address, u"host2");
  EXPECT_EQ(form.login, u"bob");
  EXPECT_EQ(form.port, u"990");
  EXPECT_TRUE(form.active);
  EXPECT_TRUE(form.ipRouter);
  EXPECT_EQ(form.timeOut, u"7");
  EXPECT_EQ(table.Get(3).name, u"") << "nothing is stored before OK";
}

TEST(RemoteBrowsingTest, ParentFolderAndRowClicksEditTheAddress) {
  EXPECT_EQ(ParentFolderAddress(u"host/a/b"), Text(u"host/a"));
  EXPECT_EQ(ParentFolderAddress(u"host"), std::nullopt);
  EXPECT_TRUE(HasParentFolder(u"host/a"));
  EXPECT_FALSE(HasParentFolder(u"host"));

  EXPECT_EQ(FolderRowAddress(u"host/www", u"photos", u"Error"), Text(u"host/www/photos"));
  EXPECT_EQ(FolderRowAddress(u"host/www", u"index.html", u"Error"), std::nullopt);
  EXPECT_EQ(FolderRowAddress(u"host/www", u"", u"Error"), std::nullopt);
  EXPECT_EQ(FolderRowAddress(u"host/www", u"Fehler", u"Fehler"), std::nullopt);
  EXPECT_EQ(FolderRowAddress(u"host", u"!!Error while reading FTP content!!", u"Error"),
            std::nullopt);
}

TEST(RemoteBrowsingTest, ListingAddressDropsSchemesSpacesAndDoubleSlashes) {
  EXPECT_EQ(ListingAddress(u"  ftp://host//www/ftp://x "), u"host/www/x");
  EXPECT_EQ(ListingAddress(u"host"), u"host");

  ServerTable table;
  ServerEditor editor(table, -1);
  editor.Form().address = u" ftp://host/www ";
  EXPECT_EQ(editor.BrowseRecord().address, u"host/www");
  EXPECT_EQ(editor.Form().address, u"host/www ") << "the field keeps the clean-up only";
}

TEST(RemoteBrowsingTest, ListingResultBecomesRowsWithPictures) {
  const auto rows = ListingRows(u"photos|index.html|.hidden|");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].text, u"photos");
  EXPECT_EQ(rows[0].picture, RowPicture::kFolder);
  EXPECT_EQ(rows[1].picture, RowPicture::kFile);
  EXPECT_EQ(rows[2].picture, RowPicture::kFile);

  const auto error = ListingRows(u"!!Error while reading FTP content!!");
  ASSERT_EQ(error.size(), 1u);
  EXPECT_EQ(error[0].picture, RowPicture::kNone);

  EXPECT_TRUE(ListingRows(u"").empty()) << "an empty folder lists nothing";
}

struct ParsedUrl {
  std::string scheme, user, password, host, port, path;
};

ParsedUrl ParseWithCurl(const Text& address) {
  ParsedUrl parsed;
  CURLU* url = curl_url();
  const std::string bytes = Utf16ToUtf8(address);
  EXPECT_EQ(curl_url_set(url, CURLUPART_URL, bytes.c_str(), 0), CURLUE_OK) << bytes;
  auto part = [url](CURLUPart which, std::string& into) {
    char* value = nullptr;
    if (curl_url_get(url, which, &value, CURLU_URLDECODE) == CURLUE_OK && value) into = value;
    curl_free(value);
  };
  part(CURLUPART_SCHEME, parsed.scheme);
  part(CURLUPART_USER, parsed.user);
  part(CURLUPART_PASSWORD, parsed.password);
  part(CURLUPART_HOST, parsed.host);
  part(CURLUPART_PORT, parsed.port);
  part(CURLUPART_PATH, parsed.path);
  curl_url_cleanup(url);
  return parsed;
}

TEST(BrowserAddressTest, LoginAndPasswordWithSeparatorsSurviveAParser) {
  ServerRecord server = Server("s", "files.example\\www/");
  server.login = u"me@home";
  server.password = u"p@ss:w/rd é";
  const ParsedUrl parsed = ParseWithCurl(BuildBrowserAddress(server));
  EXPECT_EQ(parsed.scheme, "ftp");
  EXPECT_EQ(parsed.user, "me@home");
  EXPECT_EQ(parsed.password, "p@ss:w/rd \xC3\xA9");
  EXPECT_EQ(parsed.host, "files.example");
  EXPECT_EQ(parsed.path, "/www/");

  server.port = 2121;
  EXPECT_EQ(ParseWithCurl(BuildBrowserAddress(server)).port, "2121");
}

TEST(BrowserAddressTest, WebDavOpensItsHttpAddressWithoutTheLogin) {
  struct Case {
    std::int32_t protocol;
    std::int32_t port;
    const char16_t* address;
    const char16_t* shown;
  } cases[] = {
      {kProtocolWebDavHttps, 21, u"cloud.example.org/remote.php/dav", u"https://cloud.example.org/remote.php/dav"},
      {kProtocolWebDavHttps, 443, u"cloud\\dav", u"https://cloud/dav"},
      {kProtocolWebDavHttps, 8443, u"[::1]/d", u"https://[::1]:8443/d"},
      {kProtocolWebDavHttp, 0, u"nas/share", u"http://nas/share"},
      {kProtocolWebDavHttp, 8080, u"nas", u"http://nas:8080"},
  };
  for (const Case& c : cases) {
    ServerRecord server = Server("s", "x");
    server.protocol = c.protocol;
    server.port = c.port;
    server.address = c.address;
    server.login = u"anna";
    server.password = u"secret";
    EXPECT_EQ(BuildBrowserAddress(server), c.shown);
  }
  EXPECT_EQ(WebDavPlainProtocolName(u"FTP (sans chiffrement)"), u"WebDAV (sans chiffrement)");
  EXPECT_EQ(WebDavPlainProtocolName(u"Klartext"), u"WebDAV (Klartext)");
}

TEST(BrowserAddressTest, UnsavedServerWithoutAddressOpensNothing) {
  ServerTable table;
  EXPECT_TRUE(BuildBrowserAddress(table.Get(4)).empty());
}

TEST(BrowserAddressTest, ImplicitTlsOpensFtpsAndIpv6KeepsItsBrackets) {
  ServerRecord server = Server("s", "[::1]/www");
  server.port = 0;
  server.protocol = kProtocolImplicitTls;
  ParsedUrl parsed = ParseWithCurl(BuildBrowserAddress(server));
  EXPECT_EQ(parsed.scheme, "ftps");
  EXPECT_EQ(parsed.host, "[::1]");
  EXPECT_EQ(parsed.port, "");  // 990 goes without saying
  server.port = 21;             // implicit TLS where 21 was left: say so
  EXPECT_EQ(ParseWithCurl(BuildBrowserAddress(server)).port, "21");
  for (const std::int32_t explicitTls : {kProtocolTlsIfOffered, kProtocolTlsRequired}) {
    server.protocol = explicitTls;
    EXPECT_EQ(ParseWithCurl(BuildBrowserAddress(server)).scheme, "ftp");
  }
  // SFTP: 0 and 21 both mean its own 22, which goes without saying.
  server.protocol = kProtocolSftp;
  for (const int port : {0, 21, 22}) {
    server.port = port;
    parsed = ParseWithCurl(BuildBrowserAddress(server));
    EXPECT_EQ(parsed.scheme, "sftp");
    EXPECT_EQ(parsed.port, "") << port;
  }
  server.port = 2222;
  EXPECT_EQ(ParseWithCurl(BuildBrowserAddress(server)).port, "2222");
}

TEST(ServerEditorTest, NewServersStartWithTlsIfOfferedAndEditsKeepTheFingerprint) {
  ServerTable table;
  ServerRecord old = Server("old", "host");
  old.fingerprint = u"AA:BB";
  table.Set(1, old);
  ServerEditor fresh(table, -1);
  ASSERT_EQ(fresh.Slot(), 2);
  EXPECT_EQ(fresh.Form().protocol, kNewServerProtocol);
  ServerEditor existing(table, 1);
  EXPECT_EQ(existing.Form().protocol, kProtocolPlain);  // a stored server keeps its meaning
  existing.Form().protocol = kProtocolTlsRequired;
  ASSERT_TRUE(existing.Accept());
  EXPECT_EQ(table.Get(1).protocol, kProtocolTlsRequired);
  EXPECT_EQ(table.Get(1).fingerprint, u"AA:BB");
}

TEST(CertificateTrustTest, EachCertificateIsAskedAboutOnceAndTrustStoresIt) {
  ServerTable table;
  table.Set(1, Server("s", "host"));
  CertificateTrustRequests requests;
  CertificateSummary summary;
  summary.fingerprint = u"11:22";
  requests.AskTrust(u"s", summary, false);
  requests.AskTrust(u"s", summary, false);  // the worker's next attempt
  summary.fingerprint = u"33:44";
  requests.AskTrust(u"s", summary, true);
  const auto first = requests.Take();
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->summary.fingerprint, u"11:22");
  const auto second = requests.Take();
  ASSERT_TRUE(second.has_value());
  EXPECT_TRUE(second->changed);
  EXPECT_FALSE(requests.Take().has_value());
  EXPECT_TRUE(TrustCertificate(table, u"s", second->summary.fingerprint));
  EXPECT_EQ(table.Get(1).fingerprint, u"33:44");
  EXPECT_FALSE(TrustCertificate(table, u"gone", u"55:66"));
}

// Once TLS worked, "TLS when offered" becomes "TLS required"; nothing else moves.
TEST(CertificateTrustTest, TlsThatWorkedIsRequiredFromThenOn) {
  struct Case {
    std::int32_t protocol;
    const char16_t* name;
    bool changed;
    std::int32_t stored;
  } cases[] = {
      {kProtocolTlsIfOffered, u"s", true, kProtocolTlsRequired}, {kProtocolTlsRequired, u"s", false, kProtocolTlsRequired},
      {kProtocolPlain, u"s", false, kProtocolPlain},             {kProtocolImplicitTls, u"s", false, kProtocolImplicitTls},
      {kProtocolTlsIfOffered, u"gone", false, kProtocolTlsIfOffered},
  };
  for (const Case& c : cases) {
    ServerTable table;
    ServerRecord record;
    record.name = u"s";
    record.protocol = c.protocol;
    table.Set(1, record);
    EXPECT_EQ(RequireTlsFromNowOn(table, c.name), c.changed) << c.protocol;
    EXPECT_EQ(table.Get(1).protocol, c.stored) << c.protocol;
  }
}

}  // namespace
}  // namespace wexmoor
