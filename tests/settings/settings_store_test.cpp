#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>

#include "peers/test_paths.h"
#include "support/file_bytes.h"
#include "platform/code_page.h"
#include "settings/password_scrambling.h"
#include "settings/preference_file.h"

namespace wexmoor {
namespace {

using testing::TempFolder;

using testing::ReadBytes;
using testing::WriteBytes;

// The key names of a saved file, in file order.
std::vector<std::string> KeysOf(const std::string& path) {
  PreferenceFile file;
  file.OpenPreferenceFile(Utf8ToUtf16(path));
  std::vector<std::string> keys;
  for (const auto& line : file.Lines()) keys.push_back(line.key);
  return keys;
}

struct Model {
  ServerTable servers;
  GlobalOptions options;
  UploadQueue queue;
  UiMessageRing addRing;
  std::mt19937 random{5};

  void Load(const std::string& path, bool locked = false) {
    LoadSettings(Utf8ToUtf16(path), locked, servers, options, queue, addRing);
  }
  bool Save(const std::string& path, bool locked = false, std::optional<Text> listText = std::nullopt) {
    return SaveSettings(Utf8ToUtf16(path), locked, servers, options, queue, listText, random);
  }
};

TEST(SettingsStore, MissingFileLeavesEveryDefault) {
  TempFolder dir;
  Model m;
  m.Load(dir.File("Wexmoor.prefs"));
  EXPECT_EQ(m.servers.Count(), 0);
  EXPECT_EQ(m.queue.Size(), 0);
  EXPECT_EQ(m.options.defaultPort, 21);
  EXPECT_EQ(m.options.windowX, 0);
  EXPECT_TRUE(m.options.language.empty());
  EXPECT_TRUE(m.options.storedVersion.empty());
}

TEST(SettingsStore, HandWrittenFileIsLoadedAndSavedBackInTheProgramsForm) {
  TempFolder dir;
  const std::string path = dir.File("Wexmoor.prefs");
  std::mt19937 r(3);
  // The file has no mark, so it is read as ISO 8859-1: every unit of an
  // ASCII text's scrambled form fits in one byte.
  std::string scrambledLogin;
  for (char16_t c : ScrambleText(u"admin", r)) {
    ASSERT_LT(c, 256);
    scrambledLogin.push_back(static_cast<char>(c));
  }
  WriteBytes(path,
             "ServerName1 = Home\n"
             "ServerAdress1 = 127.0.0.1/incoming\n"
             "ServerLogin1 = " + scrambledLogin + "\n"
             "ServerPassword1 = pl\xE4in\n"
             "ServerPort1 = 2121\nServerActive1 = 1\nServerTimeOut1 = 5000\n"
             "ServerName2 = Second\n"
             "ServerName4 = Lost\n"
             "File0 = /tmp/a.txt|Home|\n"
             "File1 = /tmp/b.txt|Second|sub\n"
             "File3 = /tmp/unreached|Home|\n"
             "CurrentServer = Second\nLangue$ = Deutsch\nHideServerList = 0\n"
             "FenetreX = 5000\nZipOrNot = 1\nPortFTP = 0\nNoVersion = 1.82\n");
  Model m;
  m.Load(path);
  // Server 3 is missing, so server 4 is not reached.
  ASSERT_EQ(m.servers.Count(), 2);
  ServerRecord home = m.servers.Get(1);
  EXPECT_EQ(home.address, u"127.0.0.1/incoming");
  EXPECT_EQ(home.login, u"admin");             // unscrambled on loading
  EXPECT_EQ(home.password, u"pl\u00E4in");      // unmarked: used as written
  EXPECT_EQ(home.port, 2121);
  EXPECT_EQ(home.active, 1);
  EXPECT_EQ(home.timeOut, 5000);
  EXPECT_EQ(home.connections, 2);  // no "ServerConnections1" key: the default
  EXPECT_EQ(m.servers.Get(2).port, 21);
  // Queue keys 0 and 1 present, 2 missing: two entries, in order, also listed.
  EXPECT_EQ(m.queue.Texts(), (std::vector<Text>{u"/tmp/a.txt|Home|", u"/tmp/b.txt|Second|sub"}));
  Text slot;
  ASSERT_TRUE(m.addRing.Peek(0, slot));
  EXPECT_EQ(slot, u"/tmp/a.txt|Home|");
  ASSERT_TRUE(m.addRing.Peek(1, slot));
  EXPECT_EQ(slot, u"/tmp/b.txt|Second|sub");
  EXPECT_EQ(m.addRing.FilledCount(), 2);
  EXPECT_EQ(m.options.currentServer, u"Second");
  EXPECT_EQ(m.options.language, u"Deutsch");
  EXPECT_EQ(m.options.zipBeforeUpload, 1);
  EXPECT_EQ(m.options.defaultPort, 21);
  EXPECT_EQ(m.options.storedVersion, u"1.82");

  ASSERT_TRUE(m.Save(path));
  // The table keeps the plain password.
  EXPECT_EQ(m.servers.Get(1).password, u"pl\u00E4in");
  const std::string saved = ReadBytes(path);
  EXPECT_EQ(saved.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(saved.find("ServerLogin1 = admin\r\n"), std::string::npos);
  EXPECT_NE(saved.find("ServerPassword1 = #\xC2\xA7"), std::string::npos);
  EXPECT_EQ(saved.find("pl\xC3\xA4in"), std::string::npos);
  EXPECT_EQ(saved.find("Lost"), std::string::npos);
  EXPECT_NE(saved.find("PortFTP = 21\r\n"), std::string::npos);
  EXPECT_NE(saved.find("NoVersion = 1.83\r\n"), std::string::npos);
  EXPECT_NE(saved.find("FenetreX = 5000\r\n"), std::string::npos);

  std::vector<std::string> expected;
  for (int n = 1; n <= 2; ++n)
    for (const char* key : {"ServerName", "ServerAdress", "ServerLogin", "ServerPassword", "ServerPort", "ServerActive",
                            "ServerIPRouter", "ServerUseUTF8", "ServerUseUTF8opt", "ServerTimeOut", "ServerTempName",
                            "ServerConnections"})
      expected.push_back(key + std::to_string(n));
  for (const char* key : {"File0", "File1", "CurrentServer", "Langue$", "HideServerList", "DisableUpdates", "FenetreX",
                          "FenetreY", "ZipOrNot", "PortFTP", "NoVersion"})
    expected.push_back(key);
  EXPECT_EQ(KeysOf(path), expected);

  Model again;
  again.Load(path);
  EXPECT_EQ(again.servers.Get(1).password, u"pl\u00E4in");
  EXPECT_EQ(again.servers.Get(1).login, u"admin");
  EXPECT_EQ(again.queue.Texts(), m.queue.Texts());
}

TEST(SettingsStore, QueueValueWithoutSeparatorIsSkipped) {
  TempFolder dir;
  const std::string path = dir.File("Wexmoor.prefs");
  WriteBytes(path, "File0 = /a|S|\nFile1 = junk\nFile2 = /c|S|\nFile3 =\nFile4 = /e|S|\n");
  Model m;
  m.Load(path);
  EXPECT_EQ(m.queue.Texts(), (std::vector<Text>{u"/a|S|", u"/c|S|"}));
  EXPECT_EQ(m.addRing.FilledCount(), 2);
}

TEST(SettingsStore, WatchFoldersLoadUpToTheFirstEmptyValueAndSaveBack) {
  TempFolder dir;
  const std::string path = dir.File("Wexmoor.prefs");
  // A folder may hold "|": the other fields are taken from the right. A value
  // of another form is not watched but kept as written; the empty one ends
  // the list.
  WriteBytes(path,
             "WatchFolder0 = /scans|Office|in/scans|1\n"
             "WatchFolder1 = /odd|name|Home||0\n"
             "WatchFolder2 = not a watch folder\n"
             "WatchFolder3 = /x||sub|0\n"
             "WatchFolder4 = /exports|Home||7\n"
             "WatchFolder5 =\n"
             "WatchFolder6 = /after-the-end|Home||0\n"
             "File0 = /a|Home|\n");
  Model m;
  m.Load(path);
  ASSERT_EQ(m.options.watchFolders.size(), 2u);
  EXPECT_EQ(m.options.watchFolders[0], (WatchFolderSetting{u"/scans", u"Office", u"in/scans", 1}));
  EXPECT_EQ(m.options.watchFolders[1], (WatchFolderSetting{u"/odd|name", u"Home", u"", 0}));
  EXPECT_EQ(m.options.unusableWatchFolders,
            (std::vector<Text>{u"not a watch folder", u"/x||sub|0", u"/exports|Home||7"}));
  EXPECT_EQ(m.queue.Size(), 1);

  ASSERT_TRUE(m.Save(path));
  Model again;
  again.Load(path);
  EXPECT_EQ(again.options.watchFolders, m.options.watchFolders);
  EXPECT_EQ(again.options.unusableWatchFolders, m.options.unusableWatchFolders);
  const auto keys = KeysOf(path);
  EXPECT_NE(std::find(keys.begin(), keys.end(), "WatchFolder4"), keys.end());
  EXPECT_EQ(std::find(keys.begin(), keys.end(), "WatchFolder5"), keys.end());
}

TEST(SettingsStore, ServerListTextWinsOverTheLoadedCurrentServer) {
  TempFolder dir;
  const std::string path = dir.File("Wexmoor.prefs");
  Model m;
  m.options.currentServer = u"Old";
  ASSERT_TRUE(m.Save(path, false, u"Shown"));
  Model again;
  again.Load(path);
  EXPECT_EQ(again.options.currentServer, u"Shown");
  ASSERT_TRUE(again.Save(path));
  Model third;
  third.Load(path);
  EXPECT_EQ(third.options.currentServer, u"Shown");
}

TEST(SettingsStore, LockedModeNeitherReadsNorWritesTheServerKeys) {
  TempFolder dir;
  const std::string path = dir.File("LockedWXM.prefs");
  WriteBytes(path, "ServerName1 = FromFile\nHideServerList = 0\nCurrentServer = FromFile\nFile0 = /q|Locked|\n");
  Model m;
  ServerRecord embedded;
  embedded.name = u"Locked";
  embedded.password = u"pw";
  m.servers.Set(1, embedded);
  m.options.currentServer = u"Locked";
  m.Load(path, true);
  EXPECT_EQ(m.servers.Names(), (std::vector<Text>{u"Locked"}));
  EXPECT_EQ(m.options.hideServerList, 1);
  EXPECT_EQ(m.options.currentServer, u"Locked");
  EXPECT_EQ(m.queue.Size(), 1);

  ASSERT_TRUE(m.Save(path, true));
  const std::string saved = ReadBytes(path);
  EXPECT_EQ(saved.find("ServerName"), std::string::npos);
  EXPECT_EQ(saved.find("ServerPassword"), std::string::npos);
  EXPECT_NE(saved.find("HideServerList = 1\r\n"), std::string::npos);
  EXPECT_NE(saved.find("CurrentServer = Locked\r\n"), std::string::npos);
}

TEST(SettingsStore, SaveThatCannotCreateTheFileReportsIt) {
  TempFolder dir;
  Model m;
  std::string error;
  EXPECT_FALSE(SaveSettings(Utf8ToUtf16(dir.File("no/such/folder.prefs")), false, m.servers, m.options, m.queue,
                            std::nullopt, m.random, &error));
  EXPECT_FALSE(error.empty());
}

TEST(SettingsStore, EightyThousandQueuedEntriesLoadAndSaveWhole) {
  TempFolder dir;
  const std::string path = dir.File("Wexmoor.prefs");
  std::string content = "\xEF\xBB\xBF" "ServerName1 = S\r\n";
  for (int i = 0; i < UploadQueue::kCapacity; ++i)
    content += "File" + std::to_string(i) + " = /data/folder/file" + std::to_string(i) + ".bin|S|sub\r\n";
  WriteBytes(path, content);

  auto start = std::chrono::steady_clock::now();
  Model m;
  m.Load(path);
  auto loaded = std::chrono::steady_clock::now();
  ASSERT_EQ(m.queue.Size(), UploadQueue::kCapacity);
  EXPECT_EQ(m.addRing.FilledCount(), UploadQueue::kCapacity);
  EXPECT_EQ(m.queue.At(79999)->text, u"/data/folder/file79999.bin|S|sub");
  ASSERT_TRUE(m.Save(path));
  auto saved = std::chrono::steady_clock::now();
  std::cout << "[ timing ] load " << std::chrono::duration_cast<std::chrono::milliseconds>(loaded - start).count()
            << " ms, save " << std::chrono::duration_cast<std::chrono::milliseconds>(saved - loaded).count()
            << " ms for " << UploadQueue::kCapacity << " entries\n";

  Model again;
  again.Load(path);
  EXPECT_EQ(again.queue.Texts(), m.queue.Texts());
}

TEST(SettingsStore, WindowPositionCentresAndStaysOnScreen) {
  EXPECT_EQ(MainWindowPosition(5000, 40, 1920, 1080).x, 1710);
  EXPECT_EQ(MainWindowPosition(5000, 40, 1920, 1080).y, 40);
  EXPECT_EQ(MainWindowPosition(0, 0, 1920, 1080).x, 855);
  EXPECT_EQ(MainWindowPosition(0, 0, 1920, 1080).y, 390);
  EXPECT_EQ(MainWindowPosition(0, 0, 1921, 1081).x, 855);  // integer division
  EXPECT_EQ(MainWindowPosition(-30, 900, 1920, 1080).x, -30);
  EXPECT_EQ(MainWindowPosition(-30, 900, 1920, 1080).y, 780);
}

// Two servers of one name: the queue would always find the first, so the
// later ones get a number; the load says which were renamed.
TEST(SettingsStore, ServersOfOneNameKeepTheFirstAndNumberTheOthers) {
  TempFolder dir;
  WriteBytes(dir.File("Wexmoor.prefs"),
             "ServerName1 = home\nServerAdress1 = a\n"
             "ServerName2 = home\nServerAdress2 = b\n"
             "ServerName3 = home (2)\nServerAdress3 = c\n"
             "ServerName4 = Home\nServerAdress4 = d\n"
             "ServerName5 = home\nServerAdress5 = e\n");
  Model m;
  m.Load(dir.File("Wexmoor.prefs"));
  const std::vector<Text> names = m.servers.Names();
  EXPECT_EQ(names, (std::vector<Text>{u"home", u"home (2)", u"home (2) (2)", u"Home", u"home (3)"}));
  EXPECT_EQ(m.servers.Get(2).address, u"b");
  EXPECT_EQ(m.options.renamedServers,
            (std::vector<Text>{u"home", u"home (2)", u"home (2)", u"home (2) (2)", u"home", u"home (3)"}));
  Model clean;
  WriteBytes(dir.File("Wexmoor.prefs"), "ServerName1 = a\nServerName2 = b\n");
  clean.Load(dir.File("Wexmoor.prefs"));
  EXPECT_TRUE(clean.options.renamedServers.empty());
}

// Limits: written only when set, so a file without them stays as it was; a
// negative value reads as none.
TEST(SettingsStore, UploadLimitKeysRoundTripAndDefaultToNone) {
  TempFolder dir;
  WriteBytes(dir.File("Wexmoor.prefs"),
             "UploadLimitKiB = 2000\n"
             "ServerName1 = free\nServerAdress1 = h\n"
             "ServerName2 = slow\nServerAdress2 = h\nServerUploadLimitKiB2 = 500\n"
             "ServerName3 = odd\nServerAdress3 = h\nServerUploadLimitKiB3 = -4\n");
  Model m;
  m.Load(dir.File("Wexmoor.prefs"));
  EXPECT_EQ(m.options.uploadLimitKiB, 2000);
  EXPECT_EQ(m.servers.Get(1).uploadLimitKiB, 0);
  EXPECT_EQ(m.servers.Get(2).uploadLimitKiB, 500);
  EXPECT_EQ(m.servers.Get(3).uploadLimitKiB, 0);
  ASSERT_TRUE(m.Save(dir.File("Wexmoor.prefs")));
  const auto keys = KeysOf(dir.File("Wexmoor.prefs"));
  EXPECT_EQ(std::count(keys.begin(), keys.end(), "ServerUploadLimitKiB1"), 0);
  EXPECT_EQ(std::count(keys.begin(), keys.end(), "ServerUploadLimitKiB3"), 0);
  Model again;
  again.Load(dir.File("Wexmoor.prefs"));
  EXPECT_EQ(again.options.uploadLimitKiB, 2000);
  EXPECT_EQ(again.servers.Get(2).uploadLimitKiB, 500);
  again.options.uploadLimitKiB = 0;
  ASSERT_TRUE(again.Save(dir.File("Wexmoor.prefs")));
  const auto after = KeysOf(dir.File("Wexmoor.prefs"));
  EXPECT_EQ(std::count(after.begin(), after.end(), "UploadLimitKiB"), 0);
}

}  // namespace
TEST(SettingsStore, ProtocolAndFingerprintKeysRoundTripAndDefaultToPlain) {
  TempFolder dir;
  WriteBytes(dir.File("Wexmoor.prefs"),
             "ServerName1 = old\nServerAdress1 = 127.0.0.1\n"
             "ServerName2 = tls\nServerAdress2 = [::1]/up\nServerProtocol2 = 3\n"
             "ServerFingerprint2 = AA:BB\n"
             "ServerName3 = odd\nServerAdress3 = h\nServerProtocol3 = 9\n"
             "ServerName4 = dav\nServerAdress4 = cloud/dav\nServerProtocol4 = 5\n"
             "ServerName5 = nas\nServerAdress5 = nas\nServerProtocol5 = 6\n");
  Model m;
  m.Load(dir.File("Wexmoor.prefs"));
  EXPECT_EQ(m.servers.Get(1).protocol, 0);  // a file from before keeps its meaning
  EXPECT_EQ(m.servers.Get(2).protocol, 3);
  EXPECT_EQ(m.servers.Get(2).fingerprint, u"AA:BB");
  EXPECT_EQ(m.servers.Get(3).protocol, 0);  // out of range
  EXPECT_EQ(m.servers.Get(4).protocol, kProtocolWebDavHttps);
  EXPECT_EQ(m.servers.Get(5).protocol, kProtocolWebDavHttp);
  ASSERT_TRUE(m.Save(dir.File("Wexmoor.prefs")));
  const auto keys = KeysOf(dir.File("Wexmoor.prefs"));
  EXPECT_EQ(std::count(keys.begin(), keys.end(), "ServerProtocol1"), 0);
  EXPECT_EQ(std::count(keys.begin(), keys.end(), "ServerProtocol2"), 1);
  Model again;
  again.Load(dir.File("Wexmoor.prefs"));
  EXPECT_EQ(again.servers.Get(2).protocol, 3);
  EXPECT_EQ(again.servers.Get(2).fingerprint, u"AA:BB");
  EXPECT_EQ(again.servers.Get(4).protocol, kProtocolWebDavHttps);
  EXPECT_EQ(again.servers.Get(5).protocol, kProtocolWebDavHttp);
}

// The queue's order after moves is the order of the "File<i>" keys, with
// each part still beside its own entry, so a reader of those keys alone sees
// the same valid queue; the pause keys are written only while something is
// paused, and read back by slot.
TEST(SettingsStore, MovedQueueAndPauseReadBackInOrder) {
  TempFolder dir;
  const std::string path = dir.File("Wexmoor.prefs");
  Model m;
  for (const char16_t* name : {u"A", u"B"}) {
    ServerRecord record;
    record.name = name;
    m.servers.Set(m.servers.Count() + 1, record);
  }
  DeliveryBook book;
  std::vector<std::uint64_t> ids;
  for (const char16_t* file : {u"/f/1", u"/f/2", u"/f/3", u"/f/4", u"/f/5"})
    ids.push_back(*m.queue.Append(Text(file) + u"|A|"));
  book.SetPart(ids[3], PartRecord{40, 4});
  EXPECT_EQ(m.queue.Move({ids[3], ids[4]}, true), 2);
  EXPECT_EQ(m.queue.Move({ids[0]}, false), 1);
  const std::vector<Text> order{u"/f/4|A|", u"/f/5|A|", u"/f/2|A|", u"/f/3|A|", u"/f/1|A|"};
  EXPECT_EQ(m.queue.Texts(), order);

  QueuePause pause;
  for (bool paused : {false, true}) {
    SCOPED_TRACE(paused ? "paused" : "not paused");
    pause.SetAll(paused);
    pause.SetServer(u"B", paused);
    ASSERT_TRUE(SaveSettings(Utf8ToUtf16(path), false, m.servers, m.options, m.queue, std::nullopt, m.random,
                             nullptr, &book, nullptr, nullptr, &pause));
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes.find("QueuePaused = 1") != std::string::npos, paused) << bytes;
    EXPECT_EQ(bytes.find("ServerPaused2 = 1") != std::string::npos, paused) << bytes;
    EXPECT_EQ(bytes.find("ServerPaused1"), std::string::npos) << bytes;

    Model back;
    DeliveryBook backBook;
    QueuePause backPause;
    LoadSettings(Utf8ToUtf16(path), false, back.servers, back.options, back.queue, back.addRing, &backBook,
                 nullptr, nullptr, &backPause);
    EXPECT_EQ(back.queue.Texts(), order);
    EXPECT_EQ(backBook.Get(back.queue.Ids()[0]).part.localSize, 40) << "the part follows its entry";
    EXPECT_EQ(backPause.All(), paused);
    EXPECT_EQ(backPause.Server(u"B"), paused);
    EXPECT_FALSE(backPause.Server(u"A"));
    // A reader without the pause keys: the same queue.
    Model old;
    old.Load(path);
    EXPECT_EQ(old.queue.Texts(), order);
  }
}

}  // namespace wexmoor
