#include "program/service_log.h"

#include <gtest/gtest.h>

#include <sstream>

namespace wexmoor {
namespace {

std::vector<std::string> LinesOf(const std::ostringstream& out) {
  std::vector<std::string> lines;
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(ServiceLogTest, AServerDownIsSaidOnceAndItsReturnOnce) {
  std::ostringstream out;
  DeliveryBook book;
  FakeClock clock;
  ServiceLog log(&out, &book, &clock);
  // Two entries fail with the server unreachable, each tried twice; then one
  // goes through.
  for (int round = 0; round < 2; ++round) {
    for (std::uint64_t id : {1u, 2u}) {
      book.EntryFailed(id, u"!!time-out waiting for the greeting", 0, 0);
      book.ServerFailed(u"Office", 0);
      log.EntryFinished(id, u"/d/a" + Text(1, static_cast<char16_t>(u'0' + id)) + u"|Office|in", UploadResult::kFailed);
      clock.Advance(5000);
    }
  }
  book.ServerWorked(u"Office");
  log.EntryFinished(1, u"/d/a1|Office|in", UploadResult::kSent);
  EXPECT_EQ(LinesOf(out), (std::vector<std::string>{
                              "Server Office is down: time-out waiting for the greeting; its files wait and it is tried again",
                              "Failed /d/a1 to Office/in (tried again later): time-out waiting for the greeting",
                              "Failed /d/a2 to Office/in (tried again later): time-out waiting for the greeting",
                              "Server Office is back",
                              "Sent /d/a1 to Office/in",
                          }));
}

TEST(ServiceLogTest, TheSameLineIsWrittenAtMostOnceAMinuteWithACount) {
  struct Case {
    std::vector<std::int64_t> gapsMs;  // before each repetition
    std::vector<std::string> written;
  };
  const std::string line = "Watch folder /in cannot be read";
  const Case cases[] = {
      {{500, 500, 500}, {line}},
      {{500, 500, ServiceLog::kRepeatMs}, {line, line + " (2 more in the last minute)"}},
      {{ServiceLog::kRepeatMs, ServiceLog::kRepeatMs}, {line, line, line}},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    FakeClock clock;
    ServiceLog log(&out, nullptr, &clock);
    log.Line(line);
    for (std::int64_t gap : c.gapsMs) {
      clock.Advance(gap);
      log.Line(line);
    }
    log.Line("another line");
    std::vector<std::string> expected = c.written;
    expected.push_back("another line");
    EXPECT_EQ(LinesOf(out), expected);
  }
}

}  // namespace
}  // namespace wexmoor
