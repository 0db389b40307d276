// One pass of the main loop, without any window code: the sweep of the two
// message rings into the queue list, the slow tick with the elapsed-seconds
// text and the watchdog, and the handlers of the window's buttons and lists.
// The window implements MainWindowView and calls RunPass from a 20 ms timer;
// tests drive it with a fake view, a fake worker and a FakeClock.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_set>
#include <vector>

#include "ftp/status_target.h"
#include "i18n/language_translator.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "model/upload_queue.h"
#include "model/server_table.h"
#include "model/shared_state.h"
#include "model/ui_message_ring.h"

namespace wexmoor {

// What the pass needs from the main window. Every call comes from the
// window's thread.
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;

  // The queue list (one item per queued file, item 0 first).
  virtual int QueueCount() const = 0;
  virtual const Text& QueueItem(int index) const = 0;
  virtual void AppendQueueItem(const Text& text) = 0;
  virtual void RemoveQueueItem(int index) = 0;
  virtual int SelectedQueueItem() const = 0;  // -1: none
  virtual void SelectQueueItem(int index) = 0;  // only this one; -1: clear the selection
  virtual void SetRemoveEnabled(bool enabled) = 0;
  // Several rows may be selected: every one, ascending (by default the one
  // SelectedQueueItem gives).
  virtual std::vector<int> SelectedQueueItems() const;
  // Removes the rows at these indices (ascending).
  virtual void RemoveQueueItems(const std::vector<int>& rows);
  // Moves the rows at these indices (ascending) to the top or the bottom,
  // keeping their order and the others'.
  virtual void MoveQueueItems(const std::vector<int>& rows, bool toTop);

  // The progress frame.
  virtual void SetElapsedText(const Text& text) = 0;
  virtual StatusTarget& StatusLine() = 0;
  virtual Text CurrentFileText() const = 0;
  // Clears the current-file text and the status line, progress bar to 0.
  virtual void ClearProgress() = 0;

  // The server area.
  virtual bool ServerListShown() const = 0;
  virtual int SelectedServer() const = 0;   // -1: none
  virtual Text ServerListText() const = 0;  // the selected name, or empty
  virtual void FillServerList(const std::vector<Text>& names) = 0;
  virtual void SelectServer(int index) = 0;  // out of range: no selection
  virtual void RemoveServerItem(int index) = 0;
  // Frees the server area and builds it again in its normal or hidden form.
  virtual void RebuildServerArea(const Text& currentServer, bool hidden) = 0;

  // Modal windows and the outside world.
  virtual bool AskYesNo(const Text& title, const Text& message) = 0;
  // The server settings dialog for `slot` (-1: a new server); the slot to
  // select afterwards.
  virtual int EditServer(int slot) = 0;
  // The About window; bit 0 hides the server list, bit 1 disables updates.
  virtual int ShowAbout(int hideServerList, int disableUpdates, bool lockedMode) = 0;
  virtual void OpenAddress(const Text& url) = 0;

  virtual Text Translate(TextView english) const = 0;
  virtual Text Language() const = 0;
};

// The upload worker as the watchdog sees it.
class WorkerControl {
 public:
  virtual ~WorkerControl() = default;
  virtual void Start() = 0;
  virtual void Terminate() = 0;
};

struct MainWindowPresenterContext {
  UploadQueue& queue;
  ServerTable& servers;
  UiMessageRing& addRing;
  UiMessageRing& removeRing;
  SharedFlags& flags;
  const Clock& clock;
  WorkerControl& worker;
  // Closes the FTP session (data channel, QUIT, control connection).
  std::function<void(StatusTarget* status)> disconnect;
  // The options the About window changes; `currentServer` is the name loaded
  // at start-up.
  int& hideServerList;
  int& disableUpdates;
  const Text& currentServer;
  // Base address of the maker's site ("" = none); pages lie below it.
  Text siteBase;
  // True once a close signal (SIGTERM, SIGINT) has arrived; may be empty.
  std::function<bool()> closeSignalled;
};

// The maker's home page for `language`: the French page only for exactly
// "Français". Empty when there is no site.
Text MakerHomePage(TextView siteBase, TextView language);

// Why an upload or a connection failed, read from the engines' error texts
// (one line, or the error lines of a failed opening).
enum class FailureReason {
  kNone,
  kConnectionRefused,
  kLoginRefused,
  kCertificateNotTrusted,
  kCertificateChanged,
  kHostKeyUnknown,
  kHostKeyChanged,
  kServerFull,
  kFileRefused,   // `detail`: the server's words
  kLocalFile,     // `detail`: the path
  kNoAnswer,
  kConnectionFailed,
  kOther,         // `detail`: the engine's text without its marks
};
struct Failure {
  FailureReason reason = FailureReason::kNone;
  Text detail;
};
Failure ClassifyFailure(TextView error);
// The failure in the user's language ("" for an empty error).
Text FailureText(TextView error, const Translator& translator);
// Whether the failure waits for the user's word on a certificate or host key.
bool WaitsForTrust(FailureReason reason);
// The status line as the window shows it: an engine line without its time
// and log marks; an error line as its reason, and "Paused", in the user's
// language.
Text ShownStatusLine(TextView line, const Translator& translator);
// Takes the mark of an upload held back by a limit off a status line; true
// when it was there.
bool TakeLimitedMark(Text& line);

class MainWindowPresenter {
 public:
  static constexpr int kSlotsPerPass = 2000;
  static constexpr int kPassesPerTick = 20;
  static constexpr int kSilenceLimitSeconds = 150;
  static constexpr int kRestartTicks = 20;

  MainWindowPresenter(MainWindowPresenterContext& context, MainWindowView& view);

  // Runs one pass; false once the loop should end (close requested).
  bool RunPass();

  // Handlers of the window's controls.
  void OnNewServer();
  void OnDeleteServer();
  void OnModifyServer();
  void OnQueueListClick();
  // Removes every selected row's entry.
  void OnRemoveFromList();
  // "Move to top", "Move to bottom": the selected rows' entries go to the
  // front (they are the next taken on their servers) or the end of the
  // queue, and the list shows them there.
  void OnMoveSelected(bool toTop);
  void OnServerListSelect();
  void OnAbout();
  void OnSiteButton();
  void OnCloseRequest();

  int ReadPosition() const { return readPosition_; }
  int RestartCountdown() const { return restartCountdown_; }

 private:
  void SweepRings();
  void Tick();
  void RefillServerList(int select);
  // The identities of the entries the rows show: the entry at the row's own
  // index when it is the row's file (the list follows the queue's order),
  // else the first entry of that file.
  std::unordered_set<std::uint64_t> EntriesOfRows(const std::vector<int>& rows) const;

  MainWindowPresenterContext& context_;
  MainWindowView& view_;
  int readPosition_ = 0;
  int passCounter_ = 0;
  int restartCountdown_ = 0;
  Text scratch_;
};

}  // namespace wexmoor
