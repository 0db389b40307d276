#include <gtest/gtest.h>

#include "program/upload_notifications.h"

namespace wexmoor {
namespace {

// The link goes with a notice about one file only.
TEST(NoticeLink, OnlyASingleUploadCarriesItsLink) {
  struct Case {
    std::vector<std::pair<std::uint64_t, Text>> uploads;  // id, server
    std::vector<std::pair<std::uint64_t, Text>> links;    // id, link
    Text link;
  } cases[] = {
      {{{1, u"Web"}}, {{1, u"https://h/a.jpg"}}, u"https://h/a.jpg"},
      {{{1, u"Web"}}, {}, u""},                                          // no web address
      {{{1, u"Web"}, {2, u"Web"}}, {{1, u"https://h/a"}, {2, u"https://h/b"}}, u""},  // two files
      {{{1, u"Web"}, {2, u"Home"}}, {{1, u"https://h/a"}}, u""},         // two servers
      {{{2, u"Web"}}, {{1, u"https://h/a"}}, u""},                       // another entry's link
  };
  for (const Case& c : cases) {
    UploadNotifications n;
    for (const auto& [id, link] : c.links) n.Linked(id, link);
    for (const auto& [id, server] : c.uploads) n.Uploaded(id, server);
    const std::vector<DesktopNotice> due = n.Due(true, true);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].link, c.link);
  }
  // A link told for an upload that failed is gone with the next notice.
  UploadNotifications n;
  n.Linked(5, u"https://h/old");
  n.Uploaded(6, u"Web");
  EXPECT_EQ(n.Due(true, true)[0].link, u"");
  n.Uploaded(5, u"Web");
  EXPECT_EQ(n.Due(true, true)[0].link, u"");
}

}  // namespace
}  // namespace wexmoor
