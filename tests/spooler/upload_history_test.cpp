#include "spooler/upload_history.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "spooler/web_link.h"

namespace wexmoor {
namespace {

using testing::TempFolder;

Text T(const std::string& s) { return Utf8ToUtf16(s); }
std::string N(const Text& t) { return Utf16ToUtf8(t); }

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Everything after the time field.
std::string Rest(const std::string& line) { return line.substr(line.find('\t') + 1); }

UploadRecord Sent(const std::string& local) {
  UploadRecord r;
  r.result = UploadResult::kSent;
  r.server = u"Web";
  r.localPath = T(local);
  r.remotePath = u"www/" + T(local.substr(local.rfind('/') + 1));
  r.size = 1234;
  r.milliseconds = 2750;
  r.verification = u"sha256:ab12";
  r.link = u"https://example.test/" + T(local.substr(local.rfind('/') + 1));
  return r;
}

TEST(WebLink, EachSegmentPercentEncoded) {
  struct Case {
    const char* address;
    const char* below;
    const char* link;
  } cases[] = {
      {"http://127.0.0.1:8000", "photos/summer 2026/Grüße.jpg",
       "http://127.0.0.1:8000/photos/summer%202026/Gr%C3%BC%C3%9Fe.jpg"},
      {"https://host/files/", "a.txt", "https://host/files/a.txt"},        // one slash between
      {"https://host", "a\\b//c.txt", "https://host/a%5Cb/c.txt"},         // "\\" is part of a name; empty segments out
      {"https://host", "100%#?&+=;.txt", "https://host/100%25%23%3F%26%2B%3D%3B.txt"},
      {"https://host", "~user/x-y_z.txt", "https://host/~user/x-y_z.txt"},  // unreserved as they are
      {"", "a.txt", ""},                                                    // no address, no link
      {"   ", "a.txt", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(N(WebLink(T(c.address), T(c.below))), c.link) << c.below;
}

TEST(UploadHistory, EntryRecordNamesRemotePathAndLinkBelowTheServersFolder) {
  TempFolder dir;
  std::filesystem::create_directories(dir.File("in"));
  std::ofstream(dir.File("in/Grüße 1.txt")) << "12345";
  ServerRecord server;
  server.name = u"Web";
  server.address = u"host/www/";
  server.webAddress = u"http://127.0.0.1:8000/";
  const UploadRecord r = EntryRecord(T(dir.File("in/Grüße 1.txt") + "|Web|a b\\c"), server, UploadResult::kSent);
  EXPECT_EQ(N(r.server), "Web");
  EXPECT_EQ(r.size, 5);
  EXPECT_EQ(N(r.remotePath), "www/a b/c/Grüße 1.txt");
  EXPECT_EQ(N(r.link), "http://127.0.0.1:8000/a%20b/c/Gr%C3%BC%C3%9Fe%201.txt");
  // Straight into the server's folder; a missing file has no size.
  const UploadRecord plain = EntryRecord(T(dir.File("gone.txt") + "|Web"), server, UploadResult::kFailed);
  EXPECT_EQ(N(plain.remotePath), "www/gone.txt");
  EXPECT_EQ(plain.size, -1);
  server.webAddress.clear();
  EXPECT_TRUE(EntryRecord(T(dir.File("gone.txt") + "|Web"), server, UploadResult::kSent).link.empty());
}

TEST(UploadHistory, LineHasNineFieldsWhateverTheRecordHolds) {
  UploadRecord failed;
  failed.result = UploadResult::kFailed;
  failed.reason = u"hash mismatch\tagain\r\nand again";
  failed.server = u"Office";
  failed.localPath = u"/tmp/a\tb.txt";
  UploadRecord dropped;
  dropped.result = UploadResult::kDropped;
  dropped.reason = u"no server named Old";
  dropped.server = u"Old";
  dropped.localPath = u"/tmp/c.txt";
  struct Case {
    UploadRecord record;
    const char* rest;
  } cases[] = {
      {Sent("/tmp/x.jpg"), "sent\tWeb\t/tmp/x.jpg\twww/x.jpg\t1234\t2.7\tsha256:ab12\thttps://example.test/x.jpg"},
      {failed, "failed: hash mismatch again  and again\tOffice\t/tmp/a b.txt\t-\t-\t-\t-\t-"},
      {dropped, "dropped: no server named Old\tOld\t/tmp/c.txt\t-\t-\t-\t-\t-"},
  };
  for (const Case& c : cases) {
    const std::string line = HistoryLine(c.record);
    EXPECT_EQ(Rest(line), c.rest);
    const auto row = ParseHistoryLine(line);
    ASSERT_TRUE(row.has_value()) << line;
    EXPECT_EQ(N(row->time), line.substr(0, line.find('\t')));
  }
  EXPECT_FALSE(ParseHistoryLine("2026-01-01T00:00:00+00:00\tsent\tonly three").has_value());
  EXPECT_FALSE(ParseHistoryLine("").has_value());
}

TEST(UploadHistory, TimeIsLocalIso8601WithItsOffset) {
  const std::string t = LocalIsoTime(1'796'000'000);
  ASSERT_EQ(t.size(), 25u) << t;  // 2026-11-30T00:53:20+00:00
  EXPECT_EQ(t[10], 'T');
  EXPECT_TRUE(t[19] == '+' || t[19] == '-');
  EXPECT_EQ(t[22], ':');
}

TEST(UploadHistory, AppendsPrivateWholeLinesAndMendsATornEnd) {
  TempFolder dir;
  const std::string path = dir.File("state/wexmoor/Wexmoor.history");
  {
    UploadHistory history(T(path));
    history.Record(Sent("/tmp/one.txt"));
    EXPECT_TRUE(history.Healthy());
  }
  struct stat st{};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(dir.File("state/wexmoor").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  std::ofstream(path, std::ios::app) << "2026-01-01T00:00:00+00:00\tsent\tcut by a cr";  // a crash mid-line
  UploadHistory again(T(path));
  again.Record(Sent("/tmp/two.txt"));
  const std::vector<std::string> lines = LastHistoryLines(T(path), 20);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("one.txt"), std::string::npos);
  EXPECT_FALSE(ParseHistoryLine(lines[1]).has_value());  // the torn line stays one line of its own
  EXPECT_NE(lines[2].find("two.txt"), std::string::npos);
  EXPECT_TRUE(ParseHistoryLine(lines[2]).has_value());
}

TEST(UploadHistory, RotatesKeepingOneOldFileAndReadsAcrossIt) {
  TempFolder dir;
  const std::string path = dir.File("Wexmoor.history");
  const std::size_t lineSize = HistoryLine(Sent("/tmp/f00.txt")).size() + 1;
  UploadHistory history(T(path), static_cast<std::int64_t>(lineSize * 4));  // four lines a file
  for (int i = 0; i < 10; ++i) history.Record(Sent("/tmp/f0" + std::to_string(i) + ".txt"));
  EXPECT_EQ(Slurp(path).size(), 2 * lineSize);          // f08, f09
  EXPECT_EQ(Slurp(path + ".1").size(), 4 * lineSize);   // f04..f07; f00..f03 gone
  EXPECT_FALSE(std::filesystem::exists(path + ".1.1"));
  const std::vector<std::string> last = LastHistoryLines(T(path), 5);
  ASSERT_EQ(last.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_NE(last[i].find("f0" + std::to_string(i + 5)), std::string::npos) << last[i];
  EXPECT_EQ(LastHistoryLines(T(path), 100).size(), 6u);
  EXPECT_TRUE(LastHistoryLines(T(dir.File("none")), 5).empty());
}

TEST(UploadHistory, NoPathWritesNothingAndAnUnwritableOneSaysSo) {
  UploadHistory none;
  none.Record(Sent("/tmp/x"));
  EXPECT_TRUE(none.Healthy());
  TempFolder dir;
  std::filesystem::create_directories(dir.File("blocked"));
  UploadHistory blocked(T(dir.File("blocked")));  // a folder where the file should be
  blocked.Record(Sent("/tmp/x"));
  EXPECT_FALSE(blocked.Healthy());
}

}  // namespace
}  // namespace wexmoor
