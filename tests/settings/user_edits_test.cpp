// The preference file is the user's too: text as editors write it, files
// that are not preferences kept aside, the user's own lines kept by every
// save, and edits made while the program runs read before it writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "peers/test_paths.h"
#include "support/file_bytes.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "settings/file_identity.h"
#include "settings/preference_file.h"
#include "settings/settings_autosave.h"
#include "settings/settings_store.h"

namespace wexmoor {
namespace {

using testing::TempFolder;
using Outcome = PreferenceFile::ReadOutcome;
using Encoding = PreferenceFile::Encoding;

using testing::ReadBytes;
using testing::WriteBytes;

std::string Utf16Le(const std::u16string& text, bool bigEndian = false) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : text) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

struct Model {
  ServerTable servers;
  GlobalOptions options;
  UploadQueue queue;
  UiMessageRing ring;
  std::mt19937 random{7};
  SettingsReadReport report;
  void Load(const std::string& path) { LoadSettings(Utf8ToUtf16(path), false, servers, options, queue, ring, nullptr, nullptr, &report); }
  bool Save(const std::string& path, std::string* error = nullptr) {
    return SaveSettings(Utf8ToUtf16(path), false, servers, options, queue, std::nullopt, random, error);
  }
};

TEST(PreferenceText, EachEncodingIsReadAsWrittenAndSavedAsUtf8WithMark) {
  struct Case {
    const char* what;
    std::string bytes;
    Text name;
    Encoding encoding;
  };
  const Case cases[] = {
      {"UTF-8 without mark", "ServerName1 = B\xC3\xBCro FTP\n", u"B\u00FCro FTP", Encoding::kUtf8},
      {"UTF-8 with mark", "\xEF\xBB\xBFServerName1 = B\xC3\xBCro FTP\r\n", u"B\u00FCro FTP", Encoding::kUtf8WithMark},
      {"ISO 8859-1", "ServerName1 = B\xFCro FTP\n", u"B\u00FCro FTP", Encoding::kLatin1},
      {"not UTF-8 after all", "ServerName1 = B\xC3\xBC\xFF\n", u"B\u00C3\u00BC\u00FF", Encoding::kLatin1},
      {"plain ASCII", "ServerName1 = Office\n", u"Office", Encoding::kLatin1},
      {"UTF-16 little-endian", Utf16Le(u"ServerName1 = B\u00FCro FTP \u4E2D\r\n"), u"B\u00FCro FTP \u4E2D",
       Encoding::kUtf16},
      {"UTF-16 big-endian", Utf16Le(u"ServerName1 = B\u00FCro FTP\r\n", true), u"B\u00FCro FTP", Encoding::kUtf16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder dir;
    const std::string path = dir.File("Wexmoor.prefs");
    WriteBytes(path, c.bytes);
    PreferenceFile file;
    ASSERT_TRUE(file.OpenPreferenceFile(Utf8ToUtf16(path)));
    EXPECT_EQ(file.ReadEncoding(), c.encoding);
    EXPECT_EQ(file.ReadTextKey(u"ServerName1", u""), c.name);
    file.WriteIntKey(u"ServerPort1", 21);
    ASSERT_TRUE(file.ClosePreferenceFile());
    const std::string saved = ReadBytes(path);
    EXPECT_EQ(saved.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(saved.find("ServerName1 = " + Utf16ToUtf8(c.name) + "\r\n"), std::string::npos);
  }
}

TEST(PreferenceText, HandWrittenUtf8ServerAndWatchFolderRoundTrip) {
  TempFolder dir;
  const std::string path = dir.File("Wexmoor.prefs");
  const std::string folder = dir.File("w\xC3\x9Cmlaut");
  std::filesystem::create_directory(folder);
  WriteBytes(path, "ServerName1 = B\xC3\xBCro FTP\nServerAdress1 = 127.0.0.1\nWatchFolder0 = " + folder +
                       "|B\xC3\xBCro FTP|in|0\n");
  Model m;
  m.Load(path);
  ASSERT_EQ(m.servers.Get(1).name, u"B\u00FCro FTP");
  ASSERT_EQ(m.options.watchFolders.size(), 1u);
  EXPECT_EQ(m.options.watchFolders[0].folder, Utf8ToUtf16(folder));
  EXPECT_TRUE(IsFolder(m.options.watchFolders[0].folder));
  EXPECT_TRUE(m.report.problems.empty());
  ASSERT_TRUE(m.Save(path));
  Model again;
  again.Load(path);
  EXPECT_EQ(again.servers.Get(1).name, u"B\u00FCro FTP");
  EXPECT_EQ(again.options.watchFolders, m.options.watchFolders);
}

TEST(PreferenceText, WhatIsNotPreferencesIsSetAsideWithAWord) {
  struct Case {
    const char* what;
    std::string bytes;
    Outcome outcome;
  };
  std::string random;
  std::mt19937 r(11);
  for (int i = 0; i < 4096; ++i) random.push_back(static_cast<char>(r() & 0xFF));
  const Case cases[] = {
      {"random bytes", random, Outcome::kNotPreferences},
      {"a NUL byte", std::string("ServerName1 = a\n\0\n", 18), Outcome::kNotPreferences},
      {"prose", "Dear diary,\ntoday nothing happened\n", Outcome::kNotPreferences},
      {"empty", "", Outcome::kRead},
      {"blank lines", "\r\n  \n", Outcome::kRead},
      {"a comment only", "; nothing yet\n", Outcome::kRead},
      {"a group only", "[Later]\n", Outcome::kRead},
      {"one key", "junk\nFenetreX = 3\n", Outcome::kRead},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder dir;
    const std::string path = dir.File("Wexmoor.prefs");
    WriteBytes(path, std::string(c.bytes.data(), c.bytes.size()));
    Model m;
    m.Load(path);
    EXPECT_EQ(m.report.outcome, c.outcome);
    if (c.outcome == Outcome::kRead) {
      EXPECT_TRUE(m.report.setAside.empty());
      EXPECT_TRUE(PathExists(Utf8ToUtf16(path)));
      continue;
    }
    // Kept under another name, byte for byte, and said.
    const std::string aside = PathToNative(m.report.setAside);
    EXPECT_EQ(aside.rfind(path + ".unreadable-", 0), 0u) << aside;
    EXPECT_EQ(aside.size(), path.size() + std::string(".unreadable-YYYYMMDD-HHMMSS").size());
    EXPECT_EQ(ReadBytes(aside), c.bytes);
    EXPECT_FALSE(PathExists(Utf8ToUtf16(path)));
    ASSERT_EQ(m.report.problems.size(), 1u);
    EXPECT_NE(m.report.problems[0].find(aside), std::string::npos);
    // The defaults are then saved where the file was.
    EXPECT_TRUE(m.Save(path));
  }
}

TEST(PreferenceText, SaveNeverReplacesAFileItCannotRespect) {
  struct Case {
    const char* what;
    std::string bytes;
    mode_t mode;
    const char* said;
  };
  const Case cases[] = {
      {"read-only", "ServerName1 = Mine\n", 0444, "read-only"},
      {"unreadable", "ServerName1 = Mine\n", 0200, "cannot be read"},
      {"not preferences", std::string("\0\1\2", 3), 0600, "not a preference file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.mode == 0200 && ::geteuid() == 0) continue;  // root reads it all the same
    TempFolder dir;
    const std::string path = dir.File("Wexmoor.prefs");
    WriteBytes(path, c.bytes);
    ::chmod(path.c_str(), c.mode);
    Model m;
    ServerRecord other;
    other.name = u"Other";
    m.servers.Set(1, other);
    std::string error;
    EXPECT_FALSE(m.Save(path, &error));
    EXPECT_NE(error.find(c.said), std::string::npos) << error;
    ::chmod(path.c_str(), 0600);
    EXPECT_EQ(ReadBytes(path), c.bytes);
  }
}

TEST(UserLines, EverySaveKeepsTheUsersOwnLines) {
  TempFolder dir;
  const std::string path = dir.File("Wexmoor.prefs");
  WriteBytes(path,
             "; my servers, edited by hand\n"
             "ServerName1 = Office\nServerAdress1 = 127.0.0.1\n"
             "ServerName2 = Old\nServerProtocol2 = 2\nServerWebAddress2 = http://old\n"
             "; the office closes at six\n"
             "MyOwnKey = kept\n"
             "File0 = /a|Office|\nFile1 = /b|Office|\n"
             "[Elsewhere]\nServerName1 = in a group\n");
  Model m;
  m.Load(path);
  m.servers.DeleteServer(2);
  m.queue.RemoveById(m.queue.At(1)->id);
  ASSERT_TRUE(m.Save(path));
  const std::string saved = ReadBytes(path);
  // The first comment stays on top, the others follow the program's keys,
  // the group stays last.
  EXPECT_EQ(saved.rfind("\xEF\xBB\xBF; my servers, edited by hand\r\nServerName1 = Office\r\n", 0), 0u) << saved;
  EXPECT_NE(saved.find("; the office closes at six\r\nMyOwnKey = kept\r\n[Elsewhere]\r\nServerName1 = in a group\r\n"),
            std::string::npos)
      << saved;
  // The program's keys that no longer hold anything go.
  for (const char* gone : {"ServerName2", "ServerProtocol2", "ServerWebAddress2", "File1", "Old"})
    EXPECT_EQ(saved.find(gone), std::string::npos) << gone;
  // Saved again, nothing is added.
  ASSERT_TRUE(m.Save(path));
  EXPECT_EQ(ReadBytes(path).size(), saved.size());
}

TEST(UserLines, OnlyTheProgramsOwnKeysAreRewritten) {
  struct Case {
    const char* key;
    bool owned;
  };
  const Case cases[] = {
      {"ServerName12", true}, {"serverfingerprint3", true}, {"ServerWebAddress1", true}, {"File0", true},
      {"FilePart7", true},    {"ServerUseUTF8opt1", true},  {"ServerUseUTF81", true},    {"WatchFolder2", true},       {"Langue$", true},           {"NOTIFICATIONS", true},
      {"ServerName", false},  {"File", false},              {"Server1", false},          {"MyServer1", false},
      {"File1x", false},      {"Server_Name1", false},      {"Comment", false},          {"WatchFolderX", false},
  };
  for (const Case& c : cases) EXPECT_EQ(ProgramOwnedKey(c.key), c.owned) << c.key;
}

TEST(WatchFolderLines, UnusableLinesAreSaidKeptAsWrittenAndSkipped) {
  struct Case {
    std::string value;
    const char* said;  // empty: usable without a word
  };
  const Case cases[] = {
      {"/in|Office|sub|1", ""},
      {"/in|Office||0", ""},
      {"/in|Office|sub|2", "WatchFolder0: 'after' must be 0 or 1; not watched"},
      {"/in|Office|sub|", "WatchFolder0: 'after' must be 0 or 1"},
      {"/in|Office", "WatchFolder0: not of the form folder|server|subfolder|after"},
      {"|Office|sub|0", "WatchFolder0: no folder"},
      {"/in||sub|0", "WatchFolder0: no server name; not watched"},
      {"/in|Nobody|sub|0", "WatchFolder0: no server named \"Nobody\"; its files wait until there is one"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    TempFolder dir;
    const std::string path = dir.File("Wexmoor.prefs");
    WriteBytes(path, "ServerName1 = Office\nWatchFolder0 = " + c.value + "\nWatchFolder1 = /second|Office||0\n");
    Model m;
    m.Load(path);
    const std::string said = m.report.problems.empty() ? "" : m.report.problems[0];
    EXPECT_EQ(said.rfind(c.said, 0), 0u) << said;
    EXPECT_LE(m.report.problems.size(), 1u);
    // A server that does not exist (yet) still has its folder watched.
    const bool usable = said.empty() || said.find("Nobody") != std::string::npos;
    EXPECT_EQ(m.options.watchFolders.size(), usable ? 2u : 1u);
    ASSERT_TRUE(m.Save(path));
    // Every line stays in the file as written.
    const std::string saved = ReadBytes(path);
    EXPECT_NE(saved.find(" = " + c.value + "\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find(" = /second|Office||0\r\n"), std::string::npos) << saved;
  }
}

class DiskEdits : public ::testing::Test {
 protected:
  std::string Native() const { return folder.File("Wexmoor.prefs"); }
  Text Path() const { return Utf8ToUtf16(Native()); }
  void Append(const std::string& lines) {
    std::ofstream out(Native(), std::ios::binary | std::ios::app);
    out << lines;
  }
  // A start: the file loaded, the autosave knowing it.
  void Start(const std::string& bytes) {
    WriteBytes(Native(), bytes);
    SettingsReadReport report;
    LoadSettings(Path(), false, servers, options, queue, ring, &delivery, nullptr, &report);
    saver.SetKnownFile(report.identity);
    saver.OfferOptions(options);
    // The options offered are a change: saved at once, the look made.
    ASSERT_TRUE(saver.SaveIfDue());
    ASSERT_EQ(saver.Reloads(), 0u);
    clock.Advance(SettingsAutosave::kLongestGapMs);
  }
  TempFolder folder;
  ServerTable servers;
  UploadQueue queue;
  UiMessageRing ring;
  DeliveryBook delivery;
  FakeClock clock;
  GlobalOptions options;
  SettingsAutosave saver{AutosaveSources{Path(), false, servers, queue, delivery, clock}, options};
};

TEST_F(DiskEdits, AnEditIsReadBeforeTheNextWriteAndSurvivesLaterSaves) {
  Start("ServerName1 = Office\nServerAdress1 = 127.0.0.1\n");
  ASSERT_EQ(servers.Count(), 1);
  Append("ServerName2 = Added\nServerAdress2 = 127.0.0.2\nWatchFolder0 = /drop|Added||0\n");
  // A queue change at once, well before the next look.
  clock.Advance(100);
  queue.Append(u"/q|Office|");
  EXPECT_TRUE(saver.SaveIfDue());
  EXPECT_EQ(servers.Count(), 2);
  std::optional<ReloadedSettings> reloaded = saver.TakeReloaded();
  ASSERT_TRUE(reloaded && reloaded->options);
  EXPECT_EQ(reloaded->servers, 2);
  ASSERT_EQ(reloaded->options->watchFolders.size(), 1u);
  EXPECT_FALSE(saver.TakeReloaded()) << "taken once";
  // Three more saves later the edit is still there.
  for (int i = 0; i < 3; ++i) {
    clock.Advance(SettingsAutosave::kLongestGapMs);
    queue.Append(u"/more|Office|");
    EXPECT_TRUE(saver.SaveIfDue());
  }
  const std::string saved = ReadBytes(Native());
  EXPECT_NE(saved.find("ServerName2 = Added\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("WatchFolder0 = /drop|Added||0\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("File3 = /more|Office|\r\n"), std::string::npos) << saved;
  EXPECT_EQ(saver.Reloads(), 1u) << "its own writes are not edits";
}

TEST_F(DiskEdits, TheLookEveryTwoSecondsReadsAnEditWithoutAnyOtherChange) {
  Start("ServerName1 = Office\n");
  Append("ServerName2 = Added\nWatchFolder0 = /drop|Added||0\n");
  clock.Advance(SettingsAutosave::kLookMs - SettingsAutosave::kLongestGapMs - 100);
  EXPECT_FALSE(saver.SaveIfDue());
  EXPECT_EQ(servers.Count(), 1) << "not yet looked";
  clock.Advance(100);
  saver.SaveIfDue();
  EXPECT_EQ(servers.Count(), 2);
  std::optional<ReloadedSettings> reloaded = saver.TakeReloaded();
  ASSERT_TRUE(reloaded && reloaded->options);
  EXPECT_EQ(reloaded->options->watchFolders.size(), 1u);
}

TEST_F(DiskEdits, AReloadRefreshesTheOptionsASaveWrites) {
  Start("ServerName1 = Office\n");
  std::string text = ReadBytes(Native());
  text.replace(text.find("ZipOrNot = 0"), 12, "ZipOrNot = 1");
  WriteBytes(Native(), text + "WatchFolder0 = /drop|Office||1\n");
  saver.RequestReload();
  saver.SaveIfDue();
  // The host has not taken the reading yet: its stale options are ignored.
  saver.OfferOptions(options);
  std::optional<ReloadedSettings> reloaded = saver.TakeReloaded();
  ASSERT_TRUE(reloaded && reloaded->options);
  EXPECT_EQ(reloaded->options->zipBeforeUpload, 1);
  clock.Advance(SettingsAutosave::kLongestGapMs);
  queue.Append(u"/q|Office|");
  ASSERT_TRUE(saver.SaveIfDue());
  const std::string saved = ReadBytes(Native());
  EXPECT_NE(saved.find("ZipOrNot = 1\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("WatchFolder0 = /drop|Office||1\r\n"), std::string::npos) << saved;
}

TEST_F(DiskEdits, AnEditWhileStoppedIsReadForTheLastSave) {
  Start("ServerName1 = Office\n");
  Append("ServerName2 = Late\n");
  EXPECT_TRUE(saver.ReloadIfChanged());
  EXPECT_EQ(servers.Count(), 2);
  EXPECT_FALSE(saver.ReloadIfChanged()) << "read once";
}

TEST_F(DiskEdits, AFileSpoiltWhileRunningIsSetAsideAndWrittenAnew) {
  Start("ServerName1 = Office\n");
  WriteBytes(Native(), std::string("\0\0\0garbage", 10));
  clock.Advance(SettingsAutosave::kLookMs);
  saver.SaveIfDue();
  std::optional<ReloadedSettings> reloaded = saver.TakeReloaded();
  ASSERT_TRUE(reloaded);
  EXPECT_FALSE(reloaded->options);
  ASSERT_EQ(reloaded->problems.size(), 1u);
  EXPECT_NE(reloaded->problems[0].find(".unreadable-"), std::string::npos);
  EXPECT_EQ(servers.Count(), 1) << "the program's servers stay";
  clock.Advance(SettingsAutosave::kLongestGapMs);
  saver.SaveIfDue();
  EXPECT_NE(ReadBytes(Native()).find("ServerName1 = Office\r\n"), std::string::npos);
}

TEST_F(DiskEdits, AFileMadeReadOnlyIsLeftAloneAndTriedAgainLater) {
  Start("ServerName1 = Office\n");
  const std::string before = ReadBytes(Native());
  ::chmod(Native().c_str(), 0444);
  queue.Append(u"/q|Office|");
  EXPECT_FALSE(saver.SaveIfDue());
  EXPECT_NE(saver.LastError().find("read-only"), std::string::npos) << saver.LastError();
  EXPECT_EQ(ReadBytes(Native()), before);
  // Not tried again at once; once the user allows it, the queue goes in.
  clock.Advance(SettingsAutosave::kLongestGapMs);
  EXPECT_FALSE(saver.SaveIfDue());
  ::chmod(Native().c_str(), 0644);
  clock.Advance(SettingsAutosave::kFailedSaveGapMs);
  EXPECT_TRUE(saver.SaveIfDue());
  EXPECT_NE(ReadBytes(Native()).find("File0 = /q|Office|"), std::string::npos);
}

TEST(FileIdentityTest, OnlyOtherBytesAreAChange) {
  TempFolder dir;
  const Text path = Utf8ToUtf16(dir.File("f"));
  WriteBytes(dir.File("f"), "one");
  std::optional<FileIdentity> known = StatIdentity(path, ContentHash("one"));
  EXPECT_FALSE(FileChangedSince(path, known, true));
  // Rewritten with the same bytes (new inode, new time): no change.
  WriteBytes(dir.File("g"), "one");
  ASSERT_TRUE(RenamePath(Utf8ToUtf16(dir.File("g")), path));
  EXPECT_FALSE(FileChangedSince(path, known, false));
  EXPECT_EQ(known->inode, StatIdentity(path)->inode) << "the new place is remembered";
  // Same size and time, other bytes: only the closer look sees it.
  const std::optional<FileIdentity> before = StatIdentity(path);
  WriteBytes(dir.File("f"), "two");
  timespec times[2] = {{0, UTIME_OMIT}, {before->modifiedNs / 1'000'000'000, before->modifiedNs % 1'000'000'000}};
  ::utimensat(AT_FDCWD, dir.File("f").c_str(), times, 0);
  EXPECT_FALSE(FileChangedSince(path, known, false));
  EXPECT_TRUE(FileChangedSince(path, known, true));
  RemoveFile(path);
  EXPECT_TRUE(FileChangedSince(path, known, false));
}

}  // namespace
}  // namespace wexmoor
