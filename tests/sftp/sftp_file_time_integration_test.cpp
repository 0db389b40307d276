// SETSTAT of a file's modification time against OpenSSH's sftp-server.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>

#include "peers/sshd_fixture.h"
#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "sftp/sftp_session.h"

namespace wexmoor::testing {
namespace {

TEST(SftpFileTime, SetstatGivesTheFileItsTimeAndAMissingFileIsARefusal) {
  if (!SshdServer::available()) GTEST_SKIP() << "needs root and /usr/sbin/sshd";
  StartSftpLibrary();
  SshdServer server;
  ASSERT_TRUE(server.ok()) << server.error();
  SystemClock clock;
  std::atomic<std::int64_t> lastProgress{0};
  SftpSession session(clock, lastProgress);
  SftpLogin login;
  login.host = u"127.0.0.1";
  login.port = server.port();
  login.login = Utf8ToUtf16(server.user());
  login.password = Utf8ToUtf16(server.password());
  login.fingerprint = Utf8ToUtf16(server.hostFingerprint());
  login.timeOut = 10000;
  ASSERT_EQ(session.Connect(login, nullptr), 1) << Utf16ToUtf8(session.Log().Get());
  ASSERT_EQ(session.EnterFolderPath(u"up/", nullptr), 1);
  TempFolder local;
  ASSERT_TRUE(WriteWholeFile(Utf8ToUtf16(local.File("a.txt")), "timed"));
  ASSERT_EQ(session.UploadFile(Utf8ToUtf16(local.File("a.txt")), u"Grüße.txt", 0, nullptr, nullptr), 1);
  EXPECT_EQ(session.SetModificationTime(u"Grüße.txt", 1'300'000'000, nullptr), 1)
      << Utf16ToUtf8(session.Log().Get());
  struct stat st{};
  ASSERT_EQ(::stat((server.home() + "/up/Grüße.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1'300'000'000);
  EXPECT_EQ(session.SetModificationTime(u"missing.txt", 1'300'000'000, nullptr), 0);
  EXPECT_TRUE(session.Alive());
  session.Quit(nullptr);
}

}  // namespace
}  // namespace wexmoor::testing
