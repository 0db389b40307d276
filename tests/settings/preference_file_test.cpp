#include "settings/preference_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "peers/test_paths.h"
#include "support/file_bytes.h"
#include "platform/code_page.h"

namespace wexmoor {
namespace {

using testing::TempFolder;

const std::string kMark = "\xEF\xBB\xBF";

using testing::ReadBytes;
using testing::WriteBytes;

Text T(const std::string& path) { return Utf8ToUtf16(path); }

TEST(PreferenceFile, BlanksAroundKeyAndValueAndAsciiCaseDoNotMatter) {
  TempFolder dir;
  const std::string path = dir.File("p.prefs");
  WriteBytes(path, kMark + " \t langue$ \t=\t  English \t\r\nURL = a=b = c\r\nPlain\r\n\xC3\x84rger = 1\r\n");
  PreferenceFile file;
  ASSERT_TRUE(file.OpenPreferenceFile(T(path)));
  EXPECT_EQ(file.ReadTextKey(u"Langue$", u"-"), u"English");
  EXPECT_EQ(file.ReadTextKey(u"LANGUE$", u"-"), u"English");
  // Only the first "=" separates key and value.
  EXPECT_EQ(file.ReadTextKey(u"url", u"-"), u"a=b = c");
  // A line without "=" is a key with an empty value.
  EXPECT_EQ(file.ReadTextKey(u"plain", u"-"), u"");
  // Letters beyond ASCII keep their case.
  EXPECT_EQ(file.ReadTextKey(u"\u00C4rger", u"-"), u"1");
  EXPECT_EQ(file.ReadTextKey(u"\u00E4rger", u"-"), u"-");
  EXPECT_EQ(file.ReadTextKey(u"Missing", u"def"), u"def");
  EXPECT_FALSE(file.ReadAsLatin1());
}

TEST(PreferenceFile, FileWithoutMarkIsLatin1AndIsRewrittenAsUtf8WithMark) {
  TempFolder dir;
  const std::string path = dir.File("p.prefs");
  WriteBytes(path, "Name=Caf\xE9\n");
  PreferenceFile file;
  ASSERT_TRUE(file.OpenPreferenceFile(T(path)));
  EXPECT_TRUE(file.ReadAsLatin1());
  EXPECT_EQ(file.ReadTextKey(u"Name", u""), u"Caf\u00E9");
  file.WriteIntKey(u"Count", 2);
  ASSERT_TRUE(file.ClosePreferenceFile());
  EXPECT_EQ(ReadBytes(path), kMark + "Name = Caf\xC3\xA9\r\nCount = 2\r\n");
}

TEST(PreferenceFile, AnyCodeUnitSurvivesTheRoundTrip) {
  TempFolder dir;
  const std::string path = dir.File("p.prefs");
  const Text odd = u"\xD800 lone \xDFFF, pair \U0001F600, \u00A7\u4E2D";
  PreferenceFile file;
  EXPECT_FALSE(file.OpenPreferenceFile(T(path)));
  file.WriteTextKey(u"Odd", odd);
  ASSERT_TRUE(file.ClosePreferenceFile());
  PreferenceFile again;
  ASSERT_TRUE(again.OpenPreferenceFile(T(path)));
  EXPECT_EQ(again.ReadTextKey(u"odd", u""), odd);
}

TEST(PreferenceFile, FirstOfTwoEqualKeysIsReadAndReplaced) {
  TempFolder dir;
  const std::string path = dir.File("p.prefs");
  WriteBytes(path, kMark + "Key = one\r\nOther = x\r\nKEY = two\r\n");
  PreferenceFile file;
  ASSERT_TRUE(file.OpenPreferenceFile(T(path)));
  EXPECT_EQ(file.ReadTextKey(u"key", u""), u"one");
  file.WriteTextKey(u"kEy", u"three");
  EXPECT_EQ(file.ReadTextKey(u"Key", u""), u"three");
  ASSERT_TRUE(file.ClosePreferenceFile());
  // The line keeps its place and takes the new letter case.
  EXPECT_EQ(ReadBytes(path), kMark + "kEy = three\r\nOther = x\r\nKEY = two\r\n");
}

TEST(PreferenceFile, IntegersReadTheirLeadingDigits) {
  TempFolder dir;
  const std::string path = dir.File("p.prefs");
  WriteBytes(path, kMark + "A = 42abc\r\nB = abc\r\nC =  -7\r\nD = +5\r\nE =\r\nF = 4294967297\r\n");
  PreferenceFile file;
  ASSERT_TRUE(file.OpenPreferenceFile(T(path)));
  EXPECT_EQ(file.ReadIntKey(u"A", 9), 42);
  EXPECT_EQ(file.ReadIntKey(u"B", 9), 0);  // present but not a number: 0, not the default
  EXPECT_EQ(file.ReadIntKey(u"C", 9), -7);
  EXPECT_EQ(file.ReadIntKey(u"D", 9), 5);
  EXPECT_EQ(file.ReadIntKey(u"E", 9), 0);
  EXPECT_EQ(file.ReadIntKey(u"F", 9), 1);  // keeps the low 32 bits
  EXPECT_EQ(file.ReadIntKey(u"Missing", 9), 9);
  file.WriteIntKey(u"Low", INT_MIN);
  file.WriteIntKey(u"High", INT_MAX);
  EXPECT_EQ(file.ReadIntKey(u"Low", 0), INT_MIN);
  EXPECT_EQ(file.ReadIntKey(u"High", 0), INT_MAX);
  EXPECT_EQ(file.ReadTextKey(u"Low", u""), u"-2147483648");
}

TEST(PreferenceFile, AnyRunOfLineBreaksEndsALine) {
  TempFolder dir;
  const std::string path = dir.File("p.prefs");
  WriteBytes(path, kMark + "\n\n  A=1\r\r\n\n\t\nB=2\rC=3\n\r\n   \r\nD=4");
  PreferenceFile file;
  ASSERT_TRUE(file.OpenPreferenceFile(T(path)));
  EXPECT_EQ(file.Lines().size(), 4u);
  EXPECT_EQ(file.ReadIntKey(u"A", 0), 1);
  EXPECT_EQ(file.ReadIntKey(u"B", 0), 2);
  EXPECT_EQ(file.ReadIntKey(u"C", 0), 3);
  EXPECT_EQ(file.ReadIntKey(u"D", 0), 4);
}

TEST(PreferenceFile, GroupsBoundLookupsAndNewKeysGoAtTheEndOfTheirGroup) {
  TempFolder dir;
  const std::string path = dir.File("p.prefs");
  WriteBytes(path, kMark + ";  note\r\nTop = 1\r\n[G1]\r\nTop = 2\r\n;x\r\n[G2] ignored\r\nK = g2\r\n");
  PreferenceFile file;
  ASSERT_TRUE(file.OpenPreferenceFile(T(path)));
  EXPECT_EQ(file.ReadIntKey(u"Top", 0), 1);
  EXPECT_EQ(file.ReadTextKey(u"K", u"none"), u"none");  // stops at the first group line
  file.SelectGroup(u"g1");
  EXPECT_EQ(file.ReadIntKey(u"Top", 0), 2);
  EXPECT_EQ(file.ReadTextKey(u"K", u"none"), u"none");
  file.WriteTextKey(u"New1", u"a");
  file.SelectGroup(u"G2");
  EXPECT_EQ(file.ReadTextKey(u"K", u""), u"g2");
  file.SelectGroup(u"G3");
  EXPECT_EQ(file.ReadTextKey(u"K", u"none"), u"none");
  file.WriteTextKey(u"K", u"g3");
  file.SelectGroup(u"");
  file.WriteTextKey(u"NewTop", u"b");
  EXPECT_EQ(file.ReadTextKey(u"NewTop", u""), u"b");
  file.SelectGroup(u"G1");
  EXPECT_EQ(file.ReadTextKey(u"New1", u""), u"a");
  ASSERT_TRUE(file.ClosePreferenceFile());
  EXPECT_EQ(ReadBytes(path), kMark +
                                 ";  note\r\nTop = 1\r\nNewTop = b\r\n"
                                 "[G1]\r\nTop = 2\r\n; x\r\nNew1 = a\r\n"
                                 "[G2]\r\nK = g2\r\n"
                                 "[G3]\r\nK = g3\r\n");
}

TEST(PreferenceFile, ValuesCannotBreakTheLine) {
  TempFolder dir;
  const std::string path = dir.File("p.prefs");
  PreferenceFile file;
  ASSERT_TRUE(file.CreatePreferenceFile(T(path)));
  file.WriteTextKey(u"File0", u"/tmp/a\nb|srv|");
  file.WriteTextKey(u"Next", u"1");
  ASSERT_TRUE(file.ClosePreferenceFile());
  PreferenceFile again;
  ASSERT_TRUE(again.OpenPreferenceFile(T(path)));
  EXPECT_EQ(again.Lines().size(), 2u);
  EXPECT_EQ(again.ReadTextKey(u"File0", u""), u"/tmp/a b|srv|");
}

TEST(PreferenceFile, CreateLeavesTheOldFileUntilCloseAndEmptyListIsTheMarkAlone) {
  TempFolder dir;
  const std::string path = dir.File("p.prefs");
  WriteBytes(path, kMark + "Old = 1\r\n");
  PreferenceFile file;
  ASSERT_TRUE(file.CreatePreferenceFile(T(path)));
  EXPECT_EQ(file.ReadIntKey(u"Old", 7), 7);
  EXPECT_EQ(ReadBytes(path), kMark + "Old = 1\r\n");
  ASSERT_TRUE(file.ClosePreferenceFile());
  EXPECT_EQ(ReadBytes(path), kMark);
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(PreferenceFile, UnmodifiedFileIsLeftUntouched) {
  TempFolder dir;
  const std::string path = dir.File("p.prefs");
  const std::string original = "  odd=\xE9 \n\n[g\n;c";
  WriteBytes(path, original);
  ::chmod(path.c_str(), 0640);
  struct stat before {};
  ::stat(path.c_str(), &before);
  PreferenceFile file;
  ASSERT_TRUE(file.OpenPreferenceFile(T(path)));
  EXPECT_EQ(file.ReadTextKey(u"odd", u""), u"\u00E9");
  ASSERT_TRUE(file.ClosePreferenceFile());
  struct stat after {};
  ::stat(path.c_str(), &after);
  EXPECT_EQ(ReadBytes(path), original);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(PreferenceFile, EveryWriteLeavesTheFileReadableByItsOwnerAlone) {
  TempFolder dir;
  const std::string fresh = dir.File("new.prefs");
  PreferenceFile file;
  EXPECT_FALSE(file.OpenPreferenceFile(T(fresh)));
  EXPECT_EQ(file.ReadTextKey(u"Any", u"d"), u"d");
  file.WriteTextKey(u"Pass", u"secret");
  ASSERT_TRUE(file.ClosePreferenceFile());
  struct stat st {};
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadBytes(fresh), kMark + "Pass = secret\r\n");

  // Hand-written, copied or unpacked files come with any mode; a temporary
  // file left by an interrupted save too.
  for (const mode_t old : {0644, 0666, 0604, 0640}) {
    const std::string shared = dir.File("shared.prefs");
    WriteBytes(shared, "Pass=1\n");
    ::chmod(shared.c_str(), old);
    WriteBytes(shared + ".new", "stale");
    ::chmod((shared + ".new").c_str(), old);
    ASSERT_TRUE(file.OpenPreferenceFile(T(shared)));
    file.WriteTextKey(u"Pass", u"secret");
    ASSERT_TRUE(file.ClosePreferenceFile());
    ASSERT_EQ(::stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "old mode " << std::oct << old;
    EXPECT_FALSE(std::filesystem::exists(shared + ".new"));
  }
  // Created anew over an existing file: private as well.
  const std::string shared = dir.File("shared.prefs");
  WriteBytes(shared, "A=1\n");
  ::chmod(shared.c_str(), 0754);
  ASSERT_TRUE(file.CreatePreferenceFile(T(shared)));
  ASSERT_TRUE(file.ClosePreferenceFile());
  ASSERT_EQ(::stat(shared.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(PreferenceFile, FailedWritesKeepTheOldFileAndSayWhy) {
  TempFolder dir;
  PreferenceFile file;
  EXPECT_FALSE(file.CreatePreferenceFile(T(dir.File("missing/p.prefs"))));
  EXPECT_FALSE(file.CreatePreferenceFile(T(dir.path())));

  // A folder where the file should be cannot be read, and is never replaced.
  const std::string folder = dir.File("folder.prefs");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  EXPECT_FALSE(file.OpenPreferenceFile(T(folder)));
  file.WriteTextKey(u"A", u"1");
  std::string error;
  EXPECT_FALSE(file.ClosePreferenceFile(&error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(std::filesystem::is_directory(folder));

  // The disk refuses the new content half-way (a file-size limit in a child).
  const std::string path = dir.File("p.prefs");
  const std::string old = kMark + "Old = 1\r\n";
  WriteBytes(path, old);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    PreferenceFile big;
    big.CreatePreferenceFile(T(path));
    for (int i = 0; i < 1000; ++i) big.WriteTextKey(u"File" + IntToText(i), u"/some/long/path/name|server|");
    std::string why;
    bool ok = big.ClosePreferenceFile(&why);
    ::_exit(!ok && !why.empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);  // p.prefs, folder
}

}  // namespace
}  // namespace wexmoor
