#include "program/upload_notifications.h"

#include <gtest/gtest.h>

namespace wexmoor {
namespace {

TEST(UploadNotifications, OneNoticePerEmptiedQueueWithALinePerServer) {
  UploadNotifications n;
  EXPECT_TRUE(n.Due(true, true).empty());  // nothing uploaded yet
  n.Uploaded(1, u"Home");
  n.Uploaded(2, u"Office");
  n.Uploaded(3, u"Home");
  EXPECT_TRUE(n.Due(false, true).empty());  // entries still queued
  std::vector<DesktopNotice> due = n.Due(true, true);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].message, Text(u"2 files uploaded to Home\n1 files uploaded to Office"));
  EXPECT_TRUE(n.Due(true, true).empty());  // told once

  // The next batch starts counting afresh; switched off, nothing is shown
  // and nothing is kept for later.
  n.Uploaded(4, u"Office");
  EXPECT_TRUE(n.Due(true, false).empty());
  EXPECT_TRUE(n.Due(true, true).empty());
}

TEST(UploadNotifications, ThirdFailureInARowToldOnceUntilSuccessOrRemoval) {
  UploadNotifications n;
  n.Failed(7, u"a.txt", u"Home");
  n.Failed(7, u"a.txt", u"Home");
  n.Failed(8, u"b.txt", u"Home");
  EXPECT_TRUE(n.Due(false, true).empty());
  n.Failed(7, u"a.txt", u"Home");
  std::vector<DesktopNotice> due = n.Due(false, true);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_NE(due[0].message.find(u"a.txt"), Text::npos);
  EXPECT_NE(due[0].message.find(u"Home"), Text::npos);
  n.Failed(7, u"a.txt", u"Home");  // fourth: already told
  EXPECT_TRUE(n.Due(false, true).empty());

  // A success starts the count again; so does a removal.
  n.Uploaded(7, u"Home");
  n.Failed(7, u"a.txt", u"Home");
  n.Failed(7, u"a.txt", u"Home");
  EXPECT_TRUE(n.Due(false, true).empty());
  n.Failed(7, u"a.txt", u"Home");
  EXPECT_EQ(n.Due(false, true).size(), 1u);
  n.Removed(8);
  n.Failed(8, u"b.txt", u"Home");
  n.Failed(8, u"b.txt", u"Home");
  EXPECT_TRUE(n.Due(false, true).empty());
}

}  // namespace
}  // namespace wexmoor
