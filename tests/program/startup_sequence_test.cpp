#include "program/startup_sequence.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "program/windowless_host.h"
#include "program/signal_watch.h"

namespace wexmoor {
namespace {

using testing::TempFolder;

// Records every seam call by name; a few answers can be set.
class RecordingSeams : public StartupSeams {
 public:
  explicit RecordingSeams(ProgramState& state) : state_(state) {}

  bool locked = false;
  bool updateWaits = false;
  bool windowOpens = true;
  int network = 1;
  Text chosenLanguage;
  std::optional<Text> listText;
  std::vector<std::string> calls;
  WindowPosition openedAt;
  Text queuedList = u"<none>";
  bool savedBeforeWorkerEnded = false;

  void DecodeProgramPictures() override { calls.push_back("DecodeProgramPictures"); }
  bool ReadLockedZone(ServerTable& servers, GlobalOptions& options) override {
    calls.push_back("ReadLockedZone");
    if (locked) {
      ServerRecord record;
      record.name = u"Embedded";
      servers.Set(1, record);
      options.currentServer = u"Embedded";
      options.hideServerList = 1;
    }
    return locked;
  }
  bool ApplyPendingUpdate(const GlobalOptions&) override {
    calls.push_back("ApplyPendingUpdate");
    return updateWaits;
  }
  Text ShowLanguageChooser() override {
    calls.push_back("ShowLanguageChooser");
    return chosenLanguage;
  }
  std::optional<ScreenSize> Screen() override { return ScreenSize{1920, 1080}; }
  bool OpenMainWindow(const WindowPosition& position) override {
    calls.push_back("OpenMainWindow");
    openedAt = position;
    return windowOpens;
  }
  void QueueCommandLine(const Text& pathList) override {
    calls.push_back("QueueCommandLine");
    queuedList = pathList;
  }
  void StartWorker() override { calls.push_back("StartWorker"); }
  void StartUpdateCheck() override { calls.push_back("StartUpdateCheck"); }
  int StartNetwork() override {
    calls.push_back("StartNetwork");
    return network;
  }
  void ShowWelcome() override { calls.push_back("ShowWelcome"); }
  void RunMainLoop() override { calls.push_back("RunMainLoop"); }
  std::optional<Text> ServerListText() override {
    calls.push_back("ServerListText");
    return listText;
  }
  void StoreWindowState(GlobalOptions& options) override {
    calls.push_back("StoreWindowState");
    options.windowX = 77;
    options.zipBeforeUpload = 1;
  }
  void TerminateWorker() override {
    calls.push_back("TerminateWorker");
    savedBeforeWorkerEnded = std::filesystem::exists(Utf16ToUtf8(state_.preferenceFile));
  }
  void Disconnect() override { calls.push_back("Disconnect"); }
  void CloseMainWindow() override { calls.push_back("CloseMainWindow"); }

 private:
  ProgramState& state_;
};

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Fixture {
  TempFolder dir;
  ProgramState state;
  RecordingSeams seams{state};
  Fixture() { state.preferenceFolder = Utf8ToUtf16(dir.path()); }
  std::string Prefs(const char* name = "Wexmoor.prefs") const { return dir.File(name); }
  int Run(const std::vector<Text>& args = {}) { return RunProgram(state, seams, args); }
};

TEST(StartupSequence, FirstRunGoesThroughEveryStepInOrderAndSaves) {
  Fixture f;
  EXPECT_EQ(f.Run(), 0);
  EXPECT_EQ(f.seams.calls, (std::vector<std::string>{
                               "DecodeProgramPictures", "ReadLockedZone", "ApplyPendingUpdate",
                               "ShowLanguageChooser", "OpenMainWindow", "QueueCommandLine", "StartWorker",
                               "StartUpdateCheck", "StartNetwork", "ShowWelcome", "RunMainLoop", "ServerListText",
                               "StoreWindowState", "TerminateWorker", "Disconnect", "CloseMainWindow"}));
  EXPECT_EQ(f.state.options.language, u"English");
  EXPECT_EQ(f.state.translator.Language(), u"English");
  EXPECT_EQ(f.seams.openedAt.x, 855);
  EXPECT_EQ(f.seams.openedAt.y, 390);
  EXPECT_EQ(f.seams.queuedList, u"");  // handed over even when empty
  EXPECT_TRUE(f.seams.savedBeforeWorkerEnded);
  const std::string saved = ReadBytes(f.Prefs());
  EXPECT_NE(saved.find("Langue$ = English\r\n"), std::string::npos);
  EXPECT_NE(saved.find("FenetreX = 77\r\n"), std::string::npos);  // the window's own state
  EXPECT_NE(saved.find("ZipOrNot = 1\r\n"), std::string::npos);
  EXPECT_NE(saved.find("NoVersion = 1.83\r\n"), std::string::npos);
  EXPECT_EQ(f.state.ftp.Log().Get().find(kNetworkFailureLine), Text::npos);
}

TEST(StartupSequence, KnownVersionAndLanguageSkipChooserAndWelcome) {
  Fixture f;
  WriteBytes(f.Prefs(), "Langue$ = Deutsch\nNoVersion = 1.83\nFenetreX = 5000\nCurrentServer = A\n");
  // Constructed in place: assigning a one-character literal to a string here
  // trips GCC 12's false -Wrestrict at -O3 (GCC bug 105329).
  f.seams.listText.emplace(u"B");
  f.Run();
  EXPECT_EQ(std::count(f.seams.calls.begin(), f.seams.calls.end(), "ShowLanguageChooser"), 0);
  EXPECT_EQ(std::count(f.seams.calls.begin(), f.seams.calls.end(), "ShowWelcome"), 0);
  EXPECT_EQ(f.seams.openedAt.x, 1710);
  EXPECT_EQ(f.state.translator.Language(), u"Deutsch");
  EXPECT_NE(ReadBytes(f.Prefs()).find("CurrentServer = B\r\n"), std::string::npos);
}

TEST(StartupSequence, AnyOtherStoredVersionShowsTheWelcome) {
  Fixture f;
  WriteBytes(f.Prefs(), "Langue$ = English\nNoVersion = 1.82\n");
  f.Run();
  EXPECT_EQ(std::count(f.seams.calls.begin(), f.seams.calls.end(), "ShowWelcome"), 1);
}

TEST(StartupSequence, PendingUpdateOrMissingWindowEndWithoutSaving) {
  {
    Fixture f;
    WriteBytes(f.Prefs(), "Langue$ = English\n");
    f.seams.updateWaits = true;
    EXPECT_EQ(f.Run(), 0);
    EXPECT_EQ(f.seams.calls.back(), "ApplyPendingUpdate");
    EXPECT_EQ(ReadBytes(f.Prefs()), "Langue$ = English\n");
  }
  {
    // A copy the package manager installed never hands over to the updater:
    // the start goes on to the window.
    Fixture f;
    WriteBytes(f.Prefs(), "Langue$ = English\n");
    f.seams.updateWaits = true;
    f.state.installedCopy = true;
    f.Run();
    EXPECT_EQ(std::count(f.seams.calls.begin(), f.seams.calls.end(), "ApplyPendingUpdate"), 0);
    EXPECT_EQ(std::count(f.seams.calls.begin(), f.seams.calls.end(), "OpenMainWindow"), 1);
  }
  {
    Fixture f;
    f.seams.windowOpens = false;
    EXPECT_NE(f.Run(), 0);
    EXPECT_EQ(f.seams.calls.back(), "OpenMainWindow");
    EXPECT_FALSE(std::filesystem::exists(f.Prefs()));
  }
}

TEST(StartupSequence, LockedCopyUsesItsOwnFileAndSkipsUpdateAndWelcome) {
  Fixture f;
  WriteBytes(f.Prefs("LockedWXM.prefs"), "ServerName1 = FromFile\nNoVersion = 1.0\nLangue$ = English\n");
  f.seams.locked = true;
  f.Run();
  EXPECT_TRUE(f.state.flags.lockedMode);
  EXPECT_EQ(std::count(f.seams.calls.begin(), f.seams.calls.end(), "ApplyPendingUpdate"), 0);
  EXPECT_EQ(std::count(f.seams.calls.begin(), f.seams.calls.end(), "ShowWelcome"), 0);
  EXPECT_EQ(f.state.servers.Names(), (std::vector<Text>{u"Embedded"}));
  EXPECT_FALSE(std::filesystem::exists(f.Prefs()));
  const std::string saved = ReadBytes(f.Prefs("LockedWXM.prefs"));
  EXPECT_EQ(saved.find("ServerName"), std::string::npos);
  EXPECT_NE(saved.find("HideServerList = 1\r\n"), std::string::npos);
}

TEST(StartupSequence, CommandLineStopsAtTheFirstPathThatNamesNothing) {
  Fixture f;
  const std::string file = f.dir.File("a file.txt");
  WriteBytes(file, "x");
  const Text folder = Utf8ToUtf16(f.dir.path());
  f.Run({Utf8ToUtf16(file), folder, Utf8ToUtf16(f.dir.File("missing")), Utf8ToUtf16(file)});
  EXPECT_EQ(f.seams.queuedList, Utf8ToUtf16(file) + u"\r" + folder + u"\r");
  EXPECT_EQ(CommandLinePathList({u"", Utf8ToUtf16(file)}), u"");
}

TEST(StartupSequence, NetworkFailureIsLoggedAndStartUpGoesOn) {
  Fixture f;
  f.seams.network = -1;
  EXPECT_EQ(f.Run(), 0);
  EXPECT_NE(f.state.ftp.Log().Get().find(Text(kNetworkFailureLine) + u"\r\n"), Text::npos);
  EXPECT_EQ(f.seams.calls.back(), "CloseMainWindow");
}

TEST(HeadlessStartup, TermSignalEndsTheLoopAndTheProgramSaves) {
  TempFolder dir;
  WriteBytes(dir.File("Wexmoor.prefs"), "File0 = /x|S|\nPortFTP = 0\n");
  SignalWatch signals;
  ProgramState state;
  state.preferenceFolder = Utf8ToUtf16(dir.path());
  ProgramServices services(state, {});
  WindowlessHost seams(services, &signals);
  ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
  EXPECT_EQ(RunProgram(state, seams, {}), 0);
  EXPECT_TRUE(state.flags.quitRequested);
  const std::string saved = ReadBytes(dir.File("Wexmoor.prefs"));
  EXPECT_EQ(saved.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(saved.find("File0 = /x|S|\r\n"), std::string::npos);
  EXPECT_NE(saved.find("PortFTP = 21\r\n"), std::string::npos);
}

TEST(HeadlessStartup, QuitRequestFromAnotherThreadEndsTheLoop) {
  ProgramState state;
  ProgramServices services(state, {});
  WindowlessHost seams(services, nullptr);
  std::jthread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    state.flags.quitRequested = true;
  });
  seams.RunMainLoop();
  EXPECT_TRUE(state.flags.quitRequested);
}

}  // namespace
}  // namespace wexmoor
