// A server that keeps refusing the login: the scheduler's failed attempts
// reach the desktop notices through the window's mailbox, and the user hears
// of it once, not once per attempt.
#include <gtest/gtest.h>

#include <atomic>

#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"
#include "peers/worker_rig.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "program/worker_mailbox.h"
#include "spooler/upload_worker.h"
#include "support/wait_for.h"

namespace wexmoor {
namespace {

using testing::PyFtpdServer;
using testing::TempFolder;
using testing::WaitFor;

// The window's mailbox, counting the failed attempts it hears of.
struct CountingMailbox : WorkerMailbox {
  void EntryOutcome(std::uint64_t entryId, const Text& entryText, bool uploaded) override {
    if (!uploaded) ++failed;
    WorkerMailbox::EntryOutcome(entryId, entryText, uploaded);
  }
  std::atomic<int> failed{0};
};

TEST(FailureNotice, ARefusingServerIsToldOnceAfterTheThirdAttempt) {
  TempFolder remote, local;
  PyFtpdServer ftp(remote.path());
  ASSERT_TRUE(ftp.ok()) << ftp.error();
  testing::WorkerRig rig;
  ServerRecord record;
  record.name = u"srv";
  record.address = u"127.0.0.1/in";
  record.login = u"user";
  record.password = u"not-the-password";
  record.port = ftp.port();
  record.timeOut = 2000;
  record.connections = 1;
  rig.servers.Set(1, record);
  const std::string file = local.File("report.pdf");
  ASSERT_TRUE(WriteWholeFile(Utf8ToUtf16(file), "pages"));
  rig.queue.Append(Utf8ToUtf16(file + "|srv|"));

  UploadNotifications notifications;
  CountingMailbox mailbox;
  mailbox.SetNotifications(&notifications);
  WorkerContext context{rig.queue, rig.servers, rig.removeRing, rig.flags, rig.history, rig.session, rig.clock,
                        mailbox};
  std::vector<DesktopNotice> told;
  {
    UploadWorker worker(context);
    worker.Start();
    // The retry waits pass at once on the driven clock (it moves while no
    // session runs); collect what the window would show on its passes until a
    // fourth attempt has failed.
    ASSERT_TRUE(WaitFor([&] {
      for (DesktopNotice& n : notifications.Due(rig.queue.Size() == 0, true)) told.push_back(std::move(n));
      return mailbox.failed.load() >= 4;
    }, std::chrono::seconds(60))) << mailbox.failed.load() << " failed attempts\n" << Utf16ToUtf8(rig.history.Get());
    worker.Terminate();
  }
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(Utf16ToUtf8(told[0].message).find("report.pdf"), std::string::npos) << Utf16ToUtf8(told[0].message);
  EXPECT_EQ(rig.queue.Size(), 1u);  // still queued, retried for ever
}

}  // namespace
}  // namespace wexmoor
