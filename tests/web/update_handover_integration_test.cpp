#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "peers/fake_http_server.h"
#include "peers/test_paths.h"
#include "platform/files.h"
#include "archive/zip_archive.h"
#include "web/pending_update.h"
#include "web/update_check.h"
#include "support/scripted_prompts.h"

namespace wexmoor {
namespace {


// From the offer on the site to the restarted program, through the built
// updater: the install list written by the check is the one the updater reads.
TEST(UpdateHandoverTest, OfferedUpdateIsInstalledByTheUpdaterAtTheNextStart) {
  testing::TempFolder folder;
  const Text dir = AsciiToText(folder.path());
  const std::string oldProgram = "#!/bin/sh\necho old >> \"$PWD/started.txt\"\n";
  const std::string newProgram = "#!/bin/sh\necho new >> \"$PWD/started.txt\"\n";
  ASSERT_TRUE(MakeFolder(dir + u"/my app"));
  ASSERT_TRUE(WriteFileAtomically(dir + u"/my app/wexmoor.sh", oldProgram, 0755));

  testing::TempFolder scratch;
  const Text archive = AsciiToText(scratch.File("new.zip"));
  ZipLibrary zip;
  ASSERT_EQ(zip.LoadZipLibrary(), 1);
  ArchiveHandle h = CreateArchive(zip, archive, kArchiveCreate);
  WriteWholeFile(AsciiToText(scratch.File("w")), newProgram);
  AddFileToArchive(zip, h, AsciiToText(scratch.File("w")), u"bin/wexmoor.sh");
  CloseArchive(zip, h);
  zip.ReleaseZipLibrary();

  testing::FakeHttpServer server;
  testing::HttpRoute versions, file, log;
  versions.body = "Wexmoor|1.90|" + server.BaseUrl() + "/new.zip|my app/wexmoor.sh|End|";
  file.body = ReadWholeFile(archive).value_or("");
  server.SetRoute("/downloads/log.php", log);
  server.SetRoute("/downloads/versions.txt", versions);
  server.SetRoute("/new.zip", file);

  SystemClock clock;
  testing::ScriptedPrompts prompts(true);
  HttpState http(clock, HttpOptions{dir, 30000, 1u << 20, &prompts});
  SharedFlags flags;
  Translator translator;
  UpdateCheckContext context{.flags = flags, .http = http, .prompts = prompts, .translator = translator,
                             .zip = zip, .site = AsciiToText(server.BaseUrl()), .timings = {0, 10, 19}};
  RunUpdateCheck(context, {});
  ASSERT_EQ(prompts.notices.load(), 1);

  ::setenv("WEXMOOR_UPDATER_WAIT_MS", "10", 1);
  const auto image = ReadWholeFile(AsciiToText(testing::BinaryDir() + "/bin/wexmoor-updater"));
  ASSERT_TRUE(image.has_value());
  const std::span<const unsigned char> bytes(reinterpret_cast<const unsigned char*>(image->data()), image->size());
  ASSERT_TRUE(ApplyPendingUpdate(false, dir, dir + u"/my app/wexmoor.sh", bytes));

  std::string started;
  for (int i = 0; i < 500 && started.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    started = ReadWholeFile(dir + u"/started.txt").value_or("");
  }
  EXPECT_EQ(started, "new\n");
  EXPECT_EQ(ReadWholeFile(dir + u"/my app/wexmoor.sh").value_or(""), newProgram);
  EXPECT_FALSE(PathExists(dir + u"/UpdateProg"));
}

}  // namespace
}  // namespace wexmoor
