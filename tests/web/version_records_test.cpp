#include <gtest/gtest.h>

#include <filesystem>

#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "web/install_list.h"
#include "web/update_check.h"
#include "web/update_download.h"
#include "web/version_records.h"

namespace wexmoor {
namespace {

TEST(VersionValueTest, LettersCommasAndBetas) {
  EXPECT_DOUBLE_EQ(VersionValue(u"1.83"), 1.83);
  EXPECT_DOUBLE_EQ(VersionValue(u"1.83a"), 1.831);
  EXPECT_DOUBLE_EQ(VersionValue(u"2b"), 2.2);
  EXPECT_DOUBLE_EQ(VersionValue(u"1.90 beta"), 1.9 - 1000);
  EXPECT_DOUBLE_EQ(VersionValue(u"1.90 BETA"), 1.9 - 1000);
  EXPECT_DOUBLE_EQ(VersionValue(u" >1,85 "), 1.85);
  EXPECT_DOUBLE_EQ(VersionValue(u"<1.2z"), 1.226);
  EXPECT_DOUBLE_EQ(VersionValue(u""), 0);
}

Text Record(const std::string& fields) { return AsciiToText("Wexmoor|" + fields + "|End|\r\n"); }

bool Offered(const std::string& fields) {
  auto records = FindVersionRecords(Record(fields), u"Wexmoor", u"1.83");
  return records.size() == 1 && RecordApplies(records[0], u"1.83");
}

TEST(VersionRecordsTest, ConditionsDecideWhatIsOffered) {
  EXPECT_TRUE(Offered("1.90|http://h/a.zip|Wexmoor.exe|execute:setup.exe"));
  EXPECT_TRUE(Offered("1.90|<1.85|http://h/a.zip|Wexmoor.exe"));
  EXPECT_TRUE(Offered("1.90|1.83:1.84|http://h/a.zip|Wexmoor.exe"));
  EXPECT_TRUE(Offered("1.90|1.80:>1.83|http://h/a.zip|Wexmoor.exe"));
  EXPECT_TRUE(Offered("1.90|<1.83|http://h/a.zip|Wexmoor.exe"));
  EXPECT_FALSE(Offered("1.90|>1.85|http://h/a.zip|Wexmoor.exe"));
  EXPECT_FALSE(Offered("1.90|1.80:1.84|http://h/a.zip|Wexmoor.exe"));
  EXPECT_FALSE(Offered("1.84 beta|http://h/a.zip|Wexmoor.exe"));
  EXPECT_FALSE(Offered("1.83|http://h/a.zip|Wexmoor.exe"));
  EXPECT_FALSE(Offered("1.82|1.83|http://h/a.zip|Wexmoor.exe"));
}

TEST(VersionRecordsTest, WalkFindsEveryRecordInOrderAndSkipsBrokenOnes) {
  const Text file =
      u"Other|9.0|http://h/o.zip|Other.exe|End|\r\n"
      u"Wexmoor|1.90|HTTP://h/a.zip|Wexmoor.exe|lang\\fr.txt|execute:setup.exe|End|\r\n"
      u"Wexmoor|2.00|<1.85|http://h/b.zip|Wexmoor.exe|End|\r\n"
      u"Wexmoor|2.10|http://h/c.zip|End|\r\n"  // nothing to install
      u"Wexmoor|3.00|http://h/d.zip|Wexmoor.exe|";  // never closed
  auto records = FindVersionRecords(file, u"Wexmoor", u"1.83");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].newVersion, u"1.90");
  EXPECT_EQ(records[0].archiveAddress, u"HTTP://h/a.zip");
  EXPECT_EQ(records[0].conditions, std::vector<Text>{u"1.83"});
  EXPECT_EQ(InstallListText(records[0].installItems), u"Wexmoor.exe|lang\\fr.txt|execute:setup.exe|");
  EXPECT_EQ(records[1].newVersion, u"2.00");
  EXPECT_EQ(records[1].archiveAddress, u"http://h/b.zip");
  EXPECT_EQ(records[1].conditions, std::vector<Text>{u"<1.85"});
}

TEST(ReportTest, QueryNameAndTag) {
  LocalTime t;
  t.hour = 7;
  t.minute = 5;
  t.second = 0;
  EXPECT_EQ(BuildReportQuery(t, 1920, 1080, u"http://s/wexmoor.htm", ReportName(false), VersionTag(u"1.83")),
            u"?&hl=7x5x0x&r=1920x1080x256x256&ref=http://s/wexmoor.htm?hl=fr&q=wexmoor_1-83");
  EXPECT_EQ(ReportName(true), u"l_wexmoor");
  EXPECT_EQ(VersionTag(u"2.0 Beta,1"), u"2-0-beta-1");
}

TEST(InstallListTest, ItemsThatLeaveTheWorkingDirectoryAreRefused) {
  testing::TempFolder folder;
  const Text cur = AsciiToText(folder.path());
  std::filesystem::create_symlink("/tmp", folder.File("outside"));
  EXPECT_TRUE(InstallItemIsSafe(u"Wexmoor.exe", cur));
  EXPECT_TRUE(InstallItemIsSafe(u"lang\\fr.txt", cur));
  EXPECT_TRUE(InstallItemIsSafe(u"EXECUTE:tools/setup.sh", cur));
  EXPECT_TRUE(InstallItemIsSafe(u"a/./b.txt", cur));
  EXPECT_FALSE(InstallItemIsSafe(u"../x", cur));
  EXPECT_FALSE(InstallItemIsSafe(u"a\\..\\..\\x", cur));
  EXPECT_FALSE(InstallItemIsSafe(u"/etc/passwd", cur));
  EXPECT_FALSE(InstallItemIsSafe(u"execute:/bin/sh", cur));
  EXPECT_FALSE(InstallItemIsSafe(u"outside/x", cur));
  EXPECT_FALSE(InstallItemIsSafe(u"", cur));
  EXPECT_FALSE(InstallItemIsSafe(u"dir/", cur));
  EXPECT_EQ(SafeInstallItems({u"a.txt", u"../b", u"execute:c.sh"}, cur),
            (std::vector<Text>{u"a.txt", u"execute:c.sh"}));
}

TEST(ArchiveNamesTest, CodePage437NamesBecomeWindows1252) {
  testing::TempFolder folder;
  const Text dir = AsciiToText(folder.path());
  // As unpacked: the entry's bytes read as Windows-1252 (0x82 is a low quote).
  WriteWholeFile(dir + u"/caf" + AnsiToUtf16("\x82") + u".txt", "x");
  WriteWholeFile(dir + u"/plain.txt", "y");
  WriteWholeFile(dir + u"/\u4e2d.txt", "z");  // not Windows-1252: left alone
  ConvertArchiveNames(dir);
  EXPECT_TRUE(IsRegularFile(dir + u"/café.txt"));
  EXPECT_TRUE(IsRegularFile(dir + u"/plain.txt"));
  EXPECT_TRUE(IsRegularFile(dir + u"/\u4e2d.txt"));
  EXPECT_EQ(ListFolder(dir)->size(), 3u);
}

}  // namespace
}  // namespace wexmoor
