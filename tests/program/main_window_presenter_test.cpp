#include "program/main_window_presenter.h"
#include "support/recording_status.h"

#include <optional>

#include <gtest/gtest.h>

#include <deque>

#include "platform/code_page.h"

namespace wexmoor {
namespace {


class FakeView : public MainWindowView {
 public:
  int QueueCount() const override { return static_cast<int>(items.size()); }
  const Text& QueueItem(int index) const override { return items[static_cast<std::size_t>(index)]; }
  void AppendQueueItem(const Text& text) override { items.push_back(text); }
  void RemoveQueueItem(int index) override { items.erase(items.begin() + index); }
  int SelectedQueueItem() const override { return queueSelection; }
  void SelectQueueItem(int index) override {
    queueSelection = index;
    selectedRows.clear();
  }
  std::vector<int> SelectedQueueItems() const override {
    return selectedRows.empty() ? MainWindowView::SelectedQueueItems() : selectedRows;
  }
  void SetRemoveEnabled(bool enabled) override { removeEnabled = enabled; }
  void SetElapsedText(const Text& text) override { elapsed.push_back(text); }
  StatusTarget& StatusLine() override { return status; }
  Text CurrentFileText() const override { return currentFile; }
  void ClearProgress() override { currentFile.clear(); ++progressCleared; }
  bool ServerListShown() const override { return !hidden; }
  int SelectedServer() const override { return serverSelection; }
  Text ServerListText() const override {
    if (serverSelection < 0 || serverSelection >= static_cast<int>(serverItems.size())) return {};
    return serverItems[static_cast<std::size_t>(serverSelection)];
  }
  void FillServerList(const std::vector<Text>& names) override { serverItems = names; }
  void SelectServer(int index) override {
    serverSelection = index >= 0 && index < static_cast<int>(serverItems.size()) ? index : -1;
  }
  void RemoveServerItem(int index) override { serverItems.erase(serverItems.begin() + index); }
  void RebuildServerArea(const Text& current, bool hide) override {
    hidden = hide;
    rebuiltWith = current;
  }
  bool AskYesNo(const Text& title, const Text& message) override {
    questions.push_back(title + u"|" + message);
    return answerYes;
  }
  int EditServer(int slot) override {
    editedSlots.push_back(slot);
    return editResult;
  }
  int ShowAbout(int, int, bool) override { return aboutResult; }
  void OpenAddress(const Text& url) override { opened.push_back(url); }
  Text Translate(TextView english) const override { return Text(english); }
  Text Language() const override { return language; }

  std::deque<Text> items;
  int queueSelection = -1;
  std::vector<int> selectedRows;  // several selected (empty: queueSelection alone)
  bool removeEnabled = false;
  std::vector<Text> elapsed;
  testing::RecordingStatus status;
  Text currentFile;
  int progressCleared = 0;
  bool hidden = false;
  std::vector<Text> serverItems;
  int serverSelection = -1;
  Text rebuiltWith;
  bool answerYes = true;
  std::vector<Text> questions;
  std::vector<int> editedSlots;
  int editResult = 1;
  int aboutResult = 0;
  std::vector<Text> opened;
  Text language = u"English";
};

class FakeWorker : public WorkerControl {
 public:
  void Start() override { ++starts; }
  void Terminate() override {
    ++terminations;
    upload.reset();
  }
  int starts = 0;
  int terminations = 0;
  // An upload in progress, ended by the termination.
  std::optional<BusyHold> upload;
};

class MainWindowPresenterTest : public ::testing::Test {
 protected:
  MainWindowPresenterTest() {
    flags.lastProgressTime = clock.MonotonicSeconds();
    for (const char16_t* name : {u"alpha", u"beta", u"gamma"}) {
      ServerRecord r;
      r.name = name;
      servers.Set(servers.Count() + 1, r);
    }
    view.FillServerList(servers.Names());
  }

  void RunPasses(int n) {
    for (int i = 0; i < n; ++i) pass.RunPass();
  }
  // Runs whole ticks, letting the fake clock move 20 ms per pass.
  void RunTicks(int n) {
    for (int i = 0; i < n * MainWindowPresenter::kPassesPerTick; ++i) {
      clock.Advance(20);
      pass.RunPass();
    }
  }

  FakeClock clock;
  UploadQueue queue;
  ServerTable servers;
  UiMessageRing addRing, removeRing;
  SharedFlags flags;
  FakeWorker worker;
  int disconnects = 0;
  int hideServerList = 0;
  int disableUpdates = 0;
  Text currentServer = u"beta";
  MainWindowPresenterContext context{queue, servers, addRing, removeRing, flags, clock, worker,
                          [this](StatusTarget* s) {
                            ++disconnects;
                            if (s) s->SetStatusText(u"QUIT");
                          },
                          hideServerList, disableUpdates, currentServer, u"http://127.0.0.1:9/", {}};
  FakeView view;
  MainWindowPresenter pass{context, view};
};

TEST_F(MainWindowPresenterTest, DroppedEntriesAreListedInSlotOrderAndRemovalsWaitForTheirItem) {
  // A removal for an item that is not listed yet waits in its slot.
  removeRing.Put(u"/tmp/b.txt|alpha|");
  for (const char16_t* e : {u"/tmp/a.txt|alpha|", u"/tmp/b.txt|alpha|", u"/tmp/c.txt|alpha|"})
    addRing.Put(e);
  RunPasses(1);
  EXPECT_EQ(view.items, (std::deque<Text>{u"a.txt", u"b.txt", u"c.txt"}))
      << "slot 0's removal came before b.txt was listed from slot 1, so it waits";
  EXPECT_TRUE(removeRing.IsFilled(0));
  RunPasses(38);
  EXPECT_EQ(view.items.size(), 3u);
  RunPasses(1);  // the wrapping pass visits slot 0 again
  EXPECT_EQ(view.items, (std::deque<Text>{u"a.txt", u"c.txt"}));
  EXPECT_EQ(addRing.FilledCount(), 0);
  EXPECT_EQ(removeRing.FilledCount(), 0);
}

TEST_F(MainWindowPresenterTest, ThreeDropsListedWithinFortyPassesFromAnyReadPosition) {
  RunPasses(17);  // read position somewhere in the middle of the ring
  ASSERT_NE(pass.ReadPosition(), 0);
  for (const char16_t* e : {u"/d/one|alpha|", u"/d/two|alpha|", u"/d/three|alpha|"}) addRing.Put(e);
  RunPasses(40);
  EXPECT_EQ(view.items, (std::deque<Text>{u"one", u"two", u"three"}));
}

TEST_F(MainWindowPresenterTest, SweepWrapsAtTheRingEndAndListsOverflowAfterTheWrap) {
  RunPasses(1);
  ASSERT_EQ(pass.ReadPosition(), 2000);
  for (int i = 0; i < 3000; ++i) addRing.Put(u"/f/" + IntToText(i) + u"|alpha|");
  RunPasses(1);
  ASSERT_EQ(view.items.size(), 1000u);
  EXPECT_EQ(view.items.front(), u"2000");
  EXPECT_EQ(view.items.back(), u"2999");
  // Pass 40 reaches the ring end and goes on to slot 1999 after the wrap.
  RunPasses(37);
  EXPECT_EQ(view.items.size(), 1000u);
  RunPasses(1);
  EXPECT_EQ(pass.ReadPosition(), 2000);
  ASSERT_EQ(view.items.size(), 3000u);
  EXPECT_EQ(view.items[1000], u"0");
  EXPECT_EQ(view.items[2999], u"1999");
}

TEST_F(MainWindowPresenterTest, WatchdogTerminatesASilentWorkerAndStartsANewOneTwentyTicksLater) {
  worker.upload.emplace(flags.ftpBusy);
  RunTicks(1);
  EXPECT_EQ(worker.terminations, 0);
  clock.Advance(151'000);
  RunTicks(1);
  EXPECT_EQ(worker.terminations, 1);
  EXPECT_EQ(disconnects, 1);
  EXPECT_EQ(view.status.Lines().back(), "QUIT") << "the status line is the quit's target";
  EXPECT_EQ(flags.ftpBusy.load(), 0);
  const auto shown = view.elapsed.size();
  RunTicks(19);
  EXPECT_EQ(worker.starts, 0);
  EXPECT_EQ(view.elapsed.size(), shown) << "no elapsed text while restarting";
  RunTicks(1);
  EXPECT_EQ(worker.starts, 1);
  EXPECT_EQ(worker.terminations, 1) << "restarting does not check the limit again at once";
  // Back to watching: a worker that makes progress is left alone.
  flags.lastProgressTime = clock.MonotonicSeconds();
  RunTicks(5);
  EXPECT_EQ(worker.terminations, 1);
}

TEST_F(MainWindowPresenterTest, IdleWorkerKeepsElapsedTextSmallAndWallClockJumpsKillNothing) {
  for (int i = 0; i < 50; ++i) {
    RunTicks(1);
    flags.lastProgressTime = clock.MonotonicSeconds();  // an idle worker keeps signing in
    ASSERT_TRUE(view.elapsed.back() == u"0" || view.elapsed.back() == u"1") << i;
    if (i == 10) clock.SetWallSeconds(clock.WallSeconds() + 3600);
    if (i == 30) clock.SetWallSeconds(clock.WallSeconds() - 7200);
  }
  EXPECT_EQ(worker.terminations, 0);
}

TEST_F(MainWindowPresenterTest, DeletingTheSecondOfThreeServers) {
  view.SelectServer(1);
  pass.OnDeleteServer();
  ASSERT_EQ(view.questions.size(), 1u);
  EXPECT_EQ(view.questions[0],
            u"CAUTION!|Are you sure that you want to delete the sever named beta?");
  EXPECT_EQ(servers.Names(), (std::vector<Text>{u"alpha", u"gamma"}));
  EXPECT_EQ(view.serverItems, (std::vector<Text>{u"alpha", u"gamma"}));
  EXPECT_EQ(view.serverSelection, 0);

  view.answerYes = false;
  pass.OnDeleteServer();
  EXPECT_EQ(servers.Count(), 2);

  view.serverSelection = -1;  // nothing selected: ignored, no question
  pass.OnDeleteServer();
  EXPECT_EQ(view.questions.size(), 2u);
  EXPECT_EQ(servers.Count(), 2);
}

TEST_F(MainWindowPresenterTest, NewAndModifyOpenTheDialogAndSelectItsResult) {
  view.SelectServer(2);
  view.editResult = 3;
  pass.OnModifyServer();
  EXPECT_EQ(view.editedSlots.back(), 3);
  EXPECT_EQ(view.serverSelection, 2);
  view.serverSelection = -1;
  pass.OnModifyServer();
  EXPECT_EQ(view.editedSlots.back(), -1) << "empty name: edit a new server";
  view.editResult = 1;
  pass.OnNewServer();
  EXPECT_EQ(view.editedSlots.back(), -1);
  EXPECT_EQ(view.serverSelection, 0);
}

TEST_F(MainWindowPresenterTest, QueueClickSelectsTheEntrysServer) {
  queue.Append(u"/x/a.txt|gamma|");
  queue.Append(u"/x/b.txt||");
  view.items = {u"a.txt", u"b.txt"};
  view.SelectServer(0);
  view.queueSelection = 0;
  pass.OnQueueListClick();
  EXPECT_EQ(view.serverSelection, 2);
  view.queueSelection = 1;  // no server name: selection unchanged
  pass.OnQueueListClick();
  EXPECT_EQ(view.serverSelection, 2);
  pass.OnServerListSelect();
  EXPECT_EQ(view.queueSelection, -1);
}

TEST_F(MainWindowPresenterTest, RemoveFromTheListKeepsASelectionAndClearsTheProgressOfThatFile) {
  for (const char16_t* e : {u"/q/a|alpha|", u"/q/b|alpha|", u"/q/c|alpha|"}) queue.Append(e);
  view.items = {u"a", u"b", u"c"};
  view.currentFile = u"b";
  view.queueSelection = 1;
  pass.OnRemoveFromList();
  EXPECT_EQ(view.items, (std::deque<Text>{u"a", u"c"}));
  EXPECT_EQ(queue.Texts(), (std::vector<Text>{u"/q/a|alpha|", u"/q/c|alpha|"}));
  EXPECT_EQ(view.progressCleared, 1);
  EXPECT_EQ(view.queueSelection, 1) << "the item that moved into the index";
  pass.OnRemoveFromList();
  EXPECT_EQ(view.queueSelection, 0) << "after the last item, the new last one";
  EXPECT_EQ(view.progressCleared, 1);
  pass.OnRemoveFromList();
  EXPECT_EQ(view.queueSelection, -1);
  EXPECT_EQ(queue.Size(), 0);
  pass.RunPass();
  EXPECT_FALSE(view.removeEnabled);
}

// Several selected rows: moved to the top or the bottom together, in their
// order, in the queue as in the list (a file of the same name elsewhere stays
// where it is); removed together.
TEST_F(MainWindowPresenterTest, SelectedRowsMoveAndGoTogether) {
  struct Case {
    const char* what;
    std::vector<int> rows;
    bool toTop;
    std::deque<Text> shown;
    Text first;  // the queue's first entry afterwards
  };
  const Case cases[] = {
      {"two to the top", {2, 4}, true, {u"c", u"d", u"a", u"b", u"a"}, u"/q/c|alpha|"},
      {"one to the bottom", {0}, false, {u"b", u"c", u"a", u"d", u"a"}, u"/q/b|alpha|"},
      {"the second of two same names", {3}, true, {u"a", u"a", u"b", u"c", u"d"}, u"/r/a|beta|"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    queue.Clear();
    for (const char16_t* e : {u"/q/a|alpha|", u"/q/b|alpha|", u"/q/c|alpha|", u"/r/a|beta|", u"/q/d|alpha|"})
      queue.Append(e);
    view.items = {u"a", u"b", u"c", u"a", u"d"};
    view.selectedRows = c.rows;
    pass.OnMoveSelected(c.toTop);
    EXPECT_EQ(view.items, c.shown);
    std::deque<Text> queued;
    for (const Text& text : queue.Texts()) queued.push_back(EntryDisplayText(text));
    EXPECT_EQ(queued, c.shown) << "the queue in the list's order";
    EXPECT_EQ(queue.Texts().front(), c.first);
  }
  // The last order: a (beta), a, b, c, d. Rows 1 and 3 go.
  view.selectedRows = {1, 3};
  pass.OnRemoveFromList();
  EXPECT_EQ(view.items, (std::deque<Text>{u"a", u"b", u"d"}));
  EXPECT_EQ(queue.Texts(), (std::vector<Text>{u"/r/a|beta|", u"/q/b|alpha|", u"/q/d|alpha|"}));
  EXPECT_EQ(view.queueSelection, 1);
}

TEST_F(MainWindowPresenterTest, AboutResultHidesAndShowsTheServerAreaAndSetsUpdates) {
  view.aboutResult = 3;
  pass.OnAbout();
  EXPECT_EQ(hideServerList, 1);
  EXPECT_EQ(disableUpdates, 1);
  EXPECT_TRUE(view.hidden);
  EXPECT_EQ(view.rebuiltWith, u"beta");
  view.aboutResult = 0;
  pass.OnAbout();
  EXPECT_EQ(hideServerList, 0);
  EXPECT_EQ(disableUpdates, 0);
  EXPECT_FALSE(view.hidden);
}

TEST_F(MainWindowPresenterTest, SiteButtonOpensTheFrenchPageOnlyForFrench) {
  pass.OnSiteButton();
  view.language = u"Français";
  pass.OnSiteButton();
  view.language = u"français";
  pass.OnSiteButton();
  EXPECT_EQ(view.opened, (std::vector<Text>{u"http://127.0.0.1:9/", u"http://127.0.0.1:9/fr/",
                                            u"http://127.0.0.1:9/"}));
  EXPECT_EQ(MakerHomePage(u"", u"English"), u"");
}

TEST_F(MainWindowPresenterTest, CloseSignalEndsTheLoopAfterThePass) {
  bool signalled = false;
  context.closeSignalled = [&] { return signalled; };
  addRing.Put(u"/z/last|alpha|");
  EXPECT_TRUE(pass.RunPass());
  signalled = true;
  addRing.Put(u"/z/more|alpha|");
  EXPECT_FALSE(pass.RunPass());
  EXPECT_TRUE(flags.quitRequested.load());
}

// The engines' error texts as the queue list and the status line show them:
// the reason in the user's language; the log keeps its own forms.
TEST(FailureTextTest, EngineErrorsBecomeTheirReasonInTheUsersLanguage) {
  struct Case {
    const char16_t* error;
    FailureReason reason;
    const char16_t* english;
  };
  const Case cases[] = {
      {u"", FailureReason::kNone, u""},
      {u"!!Impossible to initialise connection\n12:00:01: !!--- Unable to connect to specified server\n"
       u"12:00:01: !!Impossible to initialise connection (perhaps an adress problem...)!!",
       FailureReason::kConnectionRefused, u"Connection refused"},
      {u"!!Impossible to initialise connection\n12:00:01: >---<530 Login incorrect.\n"
       u"12:00:01: !!Impossible to initialise connection (perhaps a login, or password problem...)!!",
       FailureReason::kLoginRefused, u"Login refused"},
      {u"!!--- Login refused", FailureReason::kLoginRefused, u"Login refused"},
      {u"!!Impossible to initialise connection\n12:00:01: !!--- Certificate not trusted yet, SHA-256 fingerprint AB:CD",
       FailureReason::kCertificateNotTrusted, u"Certificate not trusted"},
      {u"!!Impossible to initialise connection\n12:00:01: !!--- Certificate changed, SHA-256 fingerprint AB:CD",
       FailureReason::kCertificateChanged, u"Certificate changed"},
      {u"!!--- Unknown host key SHA256:abc is not trusted", FailureReason::kHostKeyUnknown, u"Host key unknown"},
      {u"!!--- The host key has changed: SHA256:abc is not trusted", FailureReason::kHostKeyChanged,
       u"Host key changed"},
      {u"!!Impossible to initialise connection\n12:00:01: >---<421 Too many users, sorry",
       FailureReason::kServerFull, u"Server full"},
      {u"!!--- Upload refused: 553 Could not create file.", FailureReason::kFileRefused,
       u"File refused: 553 Could not create file."},
      {u"!!--- Transfer not confirmed: 552 Quota exceeded", FailureReason::kFileRefused,
       u"File refused: 552 Quota exceeded"},
      {u"!!--- Unable to open \"/home/a/b.txt\"", FailureReason::kLocalFile,
       u"Cannot open the local file: /home/a/b.txt"},
      {u"!!--- TimeOut", FailureReason::kNoAnswer, u"No answer from the server"},
      {u"!!Impossible to initialise connection", FailureReason::kConnectionFailed, u"Connection failed"},
      {u"!!--- Data connection closed abnormally", FailureReason::kOther,
       u"Upload failed: Data connection closed abnormally"},
      {u"!!--- hash mismatch: sha256 sent 1f, server 00", FailureReason::kOther,
       u"Upload failed: hash mismatch: sha256 sent 1f, server 00"},
  };
  const Translator english(u"English");
  const Translator german(u"Deutsch");
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyFailure(c.error).reason, c.reason) << Utf16ToUtf8(c.error);
    EXPECT_EQ(FailureText(c.error, english), c.english) << Utf16ToUtf8(c.error);
    if (c.reason != FailureReason::kNone && c.reason != FailureReason::kOther) {
      EXPECT_NE(FailureText(c.error, german), c.english) << "German: " << Utf16ToUtf8(c.error);
    }
  }
  EXPECT_EQ(FailureText(u"!!--- Certificate changed, SHA-256 fingerprint AB", german), u"Zertifikat geändert");
  EXPECT_TRUE(WaitsForTrust(FailureReason::kCertificateChanged));
  EXPECT_FALSE(WaitsForTrust(FailureReason::kLoginRefused));

  // The status line: progress without the log's time and marks, errors as reasons.
  EXPECT_EQ(ShownStatusLine(u"12:00:00: -----0.50 Kb sent at 10.00 Kb/s.", english), u"0.50 Kb sent at 10.00 Kb/s.");
  EXPECT_EQ(ShownStatusLine(u"12:00:00: <--->STOR a.txt", english), u"STOR a.txt");
  EXPECT_EQ(ShownStatusLine(u"12:00:00: !!--- Unable to connect to specified server", german), u"Verbindung abgelehnt");
  EXPECT_EQ(ShownStatusLine(u"Connected to port:7", english), u"Connected to port:7");
  Text limited = u"12:00:00: -----0.50 Kb sent at 10.00 Kb/s. (limited)";
  EXPECT_TRUE(TakeLimitedMark(limited));
  EXPECT_EQ(ShownStatusLine(limited, german), u"0.50 Kb sent at 10.00 Kb/s.");
  EXPECT_FALSE(TakeLimitedMark(limited));
}

}  // namespace
}  // namespace wexmoor
