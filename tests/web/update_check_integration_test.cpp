#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <thread>

#include "peers/fake_http_server.h"
#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "archive/zip_archive.h"
#include "web/update_check.h"
#include "support/scripted_prompts.h"

namespace wexmoor {
namespace {

using testing::FakeHttpServer;
using testing::HttpRoute;


HttpRoute Body(std::string body) {
  HttpRoute r;
  r.body = std::move(body);
  return r;
}

class UpdateCheckTest : public ::testing::Test {
 protected:
  UpdateCheckTest() {
    context.timings = UpdateCheckTimings{0, 10, 19};
    context.screenWidth = 1024;
    context.screenHeight = 768;
    server.SetRoute("/downloads/log.php", Body("thanks"));
  }
  Text Dir() const { return AsciiToText(folder.path()); }
  std::string Base() const { return server.BaseUrl(); }
  void OfferArchive(const std::string& extraRecords = {}) {
    server.SetRoute("/downloads/versions.txt",
                    Body("Wexmoor|1.90|" + Base() + "/files/new.zip|Wexmoor.exe|lang\\fr" + "\xE9" +
                         ".txt|../evil|execute:setup.sh|End|\r\n" + extraRecords));
  }
  // A zip archive holding the given entries, as the server sends it.
  std::string MakeArchive(const std::vector<std::pair<Text, std::string>>& entries) {
    testing::TempFolder scratch;
    const Text path = AsciiToText(scratch.File("a.zip"));
    EXPECT_EQ(zip.LoadZipLibrary(), 1);
    ArchiveHandle h = CreateArchive(zip, path, kArchiveCreate);
    EXPECT_NE(h, nullptr);
    int n = 0;
    for (const auto& [name, bytes] : entries) {
      const Text source = AsciiToText(scratch.File("src" + std::to_string(n++)));
      WriteWholeFile(source, bytes);
      AddFileToArchive(zip, h, source, name);
    }
    CloseArchive(zip, h);
    zip.ReleaseZipLibrary();
    return ReadWholeFile(path).value_or("");
  }

  FakeHttpServer server;
  testing::TempFolder folder;
  SystemClock clock;
  testing::ScriptedPrompts prompts;
  HttpState http{clock, HttpOptions{AsciiToText(folder.path()), 30000, 64u << 20, &prompts}};
  SharedFlags flags;
  Translator translator;
  ZipLibrary zip;
  UpdateCheckContext context{flags, http, prompts, translator, zip, AsciiToText(server.BaseUrl()), false, 0, 0, {}};
};

TEST_F(UpdateCheckTest, ReportIsSentEvenWithUpdatesDisabledAndNothingElse) {
  context.disableUpdates = true;
  OfferArchive();
  RunUpdateCheck(context, {});
  auto reports = server.RequestsFor("/downloads/log.php");
  ASSERT_EQ(reports.size(), 1u);
  const std::string target = reports[0].target;
  EXPECT_EQ(target.substr(0, 23), "/downloads/log.php?&hl=");
  EXPECT_NE(target.find("x&r=1024x768x256x256&ref=127.0.0.1:"), std::string::npos) << target;
  const std::string tail = "/wexmoor.htm?hl=fr&q=wexmoor_1-83";
  EXPECT_EQ(target.substr(target.size() - tail.size()), tail);
  EXPECT_EQ(reports[0].Header("Referer"), Base() + "/wexmoor.htm");
  EXPECT_TRUE(server.RequestsFor("/downloads/versions.txt").empty());
  EXPECT_FALSE(PathExists(Dir() + u"/temp.htm"));
  EXPECT_EQ(flags.webBusy.load(), 0);
}

TEST_F(UpdateCheckTest, LockedCopyReportsUnderItsOwnNameOnly) {
  flags.lockedMode = true;
  OfferArchive();
  RunUpdateCheck(context, {});
  auto reports = server.RequestsFor("/downloads/log.php");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].target.find("q=l_wexmoor_1-83"), std::string::npos);
  EXPECT_EQ(reports[0].Header("Referer"), Base() + "/l_wexmoor.htm");
  EXPECT_TRUE(server.RequestsFor("/downloads/versions.txt").empty());
}

TEST_F(UpdateCheckTest, NoSiteOrBusyFtpMeansNothingIsSent) {
  context.site.clear();
  RunUpdateCheck(context, {});
  context.site = AsciiToText(Base());
  flags.ftpBusy = 1;
  RunUpdateCheck(context, {});
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_TRUE(prompts.questions.empty());
}

TEST_F(UpdateCheckTest, EveryMatchingRecordAsksInFileOrder) {
  OfferArchive("Wexmoor|2.0|>1.85|http://x/b.zip|a|End|Wexmoor|2.1|1.83:1.84|http://x/c.zip|a|End|");
  RunUpdateCheck(context, {});
  ASSERT_EQ(prompts.questions.size(), 2u);
  EXPECT_EQ(prompts.questions[0],
            u"Update|Wexmoor 1.90  is available on the Wexmoor web site. Your version is: 1.83. \r\n"
            u"Do you want to update it?");
  EXPECT_EQ(prompts.questions[1].substr(0, 19), u"Update|Wexmoor 2.1 ");
  // The version file was asked for without a referrer.
  auto versions = server.RequestsFor("/downloads/versions.txt");
  ASSERT_EQ(versions.size(), 1u);
  EXPECT_FALSE(versions[0].HasHeader("Referer"));
  EXPECT_TRUE(server.RequestsFor("/files/new.zip").empty());
  EXPECT_FALSE(IsFolder(Dir() + u"/UpdateProg"));
}

TEST_F(UpdateCheckTest, InstalledCopyIsToldOnceAndDownloadsNothing) {
  context.installedCopy = true;
  OfferArchive("Wexmoor|2.0|http://x/b.zip|a|End|");
  prompts.answers = {true, true};
  RunUpdateCheck(context, {});
  EXPECT_TRUE(prompts.questions.empty());
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0],
            u"Update|Wexmoor 1.90  is available on the Wexmoor web site. Your version is: 1.83.");
  EXPECT_TRUE(server.RequestsFor("/files/new.zip").empty());
  EXPECT_FALSE(IsFolder(Dir() + u"/UpdateProg"));
}

TEST_F(UpdateCheckTest, AcceptedUpdateIsUnpackedWithItsInstallList) {
  OfferArchive();
  server.SetRoute("/files/new.zip", Body(MakeArchive({{u"Wexmoor.exe", "new program"},
                                                      {u"lang/fr" + AnsiToUtf16("\x82") + u".txt", "bonjour"},
                                                      {u"setup.sh", "#!/bin/sh\n"}})));
  prompts.answers = {true};
  RunUpdateCheck(context, {});

  const Text updateDir = Dir() + u"/UpdateProg";
  EXPECT_EQ(ReadWholeFile(updateDir + u"/Wexmoor.exe").value_or(""), "new program");
  EXPECT_EQ(ReadWholeFile(updateDir + u"/fré.txt").value_or(""), "bonjour");
  EXPECT_EQ(ReadWholeFile(updateDir + u"/Paths.txt").value_or(""),
            "Wexmoor.exe|lang\\fr\xC3\xA9.txt|execute:setup.sh|\r\n");
  EXPECT_FALSE(PathExists(Dir() + u"/Temp.zip"));
  EXPECT_FALSE(PathExists(Dir() + u"/temp.htm"));
  EXPECT_EQ(prompts.notices.load(), 1);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0], u"Update|Download will start. You will be notified when it will be finished.");
  auto download = server.RequestsFor("/files/new.zip");
  ASSERT_EQ(download.size(), 1u);
  EXPECT_EQ(download[0].Header("Referer"), Base() + "/downloads/versions.txt");
  EXPECT_EQ(flags.webBusy.load(), 0);
}

TEST_F(UpdateCheckTest, ArchiveWithoutEntriesIsReportedAsCorrupted) {
  OfferArchive();
  server.SetRoute("/files/new.zip", Body("<html>Not here</html>"));
  prompts.answers = {true};
  RunUpdateCheck(context, {});
  EXPECT_FALSE(PathExists(Dir() + u"/UpdateProg"));
  EXPECT_FALSE(PathExists(Dir() + u"/Temp.zip"));
  EXPECT_EQ(prompts.notices.load(), 0);
  ASSERT_EQ(prompts.messages.size(), 2u);
  EXPECT_EQ(prompts.messages[1], u"Update|Downloaded archive is corrupted. Try again.");
}

TEST_F(UpdateCheckTest, UnboundZipLibraryRemovesTheDownloadSilently) {
  OfferArchive();
  server.SetRoute("/files/new.zip", Body(MakeArchive({{u"Wexmoor.exe", "x"}})));
  zip.SetFailBinding(true);
  prompts.answers = {true};
  RunUpdateCheck(context, {});
  EXPECT_FALSE(PathExists(Dir() + u"/UpdateProg"));
  EXPECT_FALSE(PathExists(Dir() + u"/Temp.zip"));
  EXPECT_EQ(prompts.notices.load(), 0);
  EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST_F(UpdateCheckTest, ThreadStopsPromptlyWhileTheSiteIsSilent) {
  HttpRoute silent;
  silent.silentMs = -1;
  server.SetRoute("/downloads/log.php", silent);
  UpdateCheck check(context);
  check.Start();
  while (server.Requests().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(check.Running());
  EXPECT_EQ(flags.webBusy.load(), 1);
  const auto start = std::chrono::steady_clock::now();
  check.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(flags.webBusy.load(), 0);
}

}  // namespace
}  // namespace wexmoor
