// Where the upload history lives, and the server keys of proof of delivery.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "model/ui_message_ring.h"
#include "model/upload_queue.h"
#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "settings/file_locations.h"
#include "settings/settings_store.h"

namespace wexmoor {
namespace {

using testing::TempFolder;

Text T(const std::string& s) { return Utf8ToUtf16(s); }

TEST(HistoryLocation, BesidePortablePrefsElseInTheStateFolder) {
  TempFolder root;
  std::filesystem::create_directories(root.File("here"));
  DesktopEnvironment e;
  e.currentDirectory = T(root.File("here"));
  e.home = T(root.File("home"));
  struct Case {
    const char* stateHome;
    bool portable;
    std::string history;
  } cases[] = {
      {"", false, root.File("home/.local/state/wexmoor/Wexmoor.history")},
      {"/xdg/state/", false, "/xdg/state/wexmoor/Wexmoor.history"},
      {"relative/state", false, root.File("home/.local/state/wexmoor/Wexmoor.history")},  // not absolute: unset
      {"/xdg/state", true, root.File("here/Wexmoor.history")},
  };
  for (const Case& c : cases) {
    e.stateHome = T(c.stateHome);
    const std::string prefs = root.File("here/Wexmoor.prefs");
    if (c.portable) std::ofstream(prefs) << "";
    else std::filesystem::remove(prefs);
    EXPECT_EQ(Utf16ToUtf8(ChooseFileLocations(e, u"Wexmoor.prefs").historyFile), c.history) << c.stateHome;
  }
}

TEST(HistoryLocation, WebAddressVerifyAndPipeliningKeysRoundTrip) {
  TempFolder dir;
  const Text prefs = T(dir.File("Wexmoor.prefs"));
  std::ofstream(dir.File("Wexmoor.prefs")) << "ServerName1 = old\nServerAdress1 = h\n"
                                              "ServerName2 = web\nServerAdress2 = h/www\n"
                                              "ServerWebAddress2 = https://example.test/files\nServerVerify2 = 0\n"
                                              "ServerPipelining2 = 0\n"
                                              "ServerName3 = odd\nServerAdress3 = h\nServerVerify3 = 7\n"
                                              "ServerPipelining3 = 7\n";
  ServerTable servers;
  GlobalOptions options;
  UploadQueue queue;
  UiMessageRing ring;
  LoadSettings(prefs, false, servers, options, queue, ring);
  EXPECT_EQ(servers.Get(1).verify, 1);  // a file from before: check what the server offers
  EXPECT_EQ(servers.Get(1).webAddress, u"");
  EXPECT_EQ(servers.Get(2).verify, 0);
  EXPECT_EQ(servers.Get(2).webAddress, u"https://example.test/files");
  EXPECT_EQ(servers.Get(3).verify, 1);
  EXPECT_EQ(servers.Get(1).pipelining, 1);  // missing: on
  EXPECT_EQ(servers.Get(2).pipelining, 0);
  EXPECT_EQ(servers.Get(3).pipelining, 1);
  std::mt19937 random(1);
  ASSERT_TRUE(SaveSettings(prefs, false, servers, options, std::vector<QueueEntry>{}, std::nullopt, random, nullptr));
  std::ifstream in(dir.File("Wexmoor.prefs"));
  const std::string saved((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(saved.find("ServerVerify1"), std::string::npos);  // the default is not written
  EXPECT_EQ(saved.find("ServerWebAddress1"), std::string::npos);
  EXPECT_EQ(saved.find("ServerPipelining1"), std::string::npos);
  ServerTable again;
  LoadSettings(prefs, false, again, options, queue, ring);
  EXPECT_EQ(again.Get(2).verify, 0);
  EXPECT_EQ(again.Get(2).pipelining, 0);
  EXPECT_EQ(again.Get(2).webAddress, u"https://example.test/files");
}

}  // namespace
}  // namespace wexmoor
