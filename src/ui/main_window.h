// The main window: server area, queue list, zip check box, progress frame and
// site button at fixed places. It shows what its presenter tells it and
// forwards its controls' events to the pass; its 20 ms timer runs the passes.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <vector>

#include <wx/bitmap.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/frame.h>
#include <wx/gauge.h>
#include <wx/icon.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include "model/conversation_log.h"
#include "spooler/drop_intake.h"
#include "model/global_options.h"
#include "model/queue_pause.h"
#include "program/main_window_presenter.h"
#include "i18n/language_translator.h"
#include "ui/queue_list_ctrl.h"
#include "program/certificate_trust.h"
#include "program/worker_mailbox.h"

namespace wexmoor {


struct MainWindowContext {
  ServerTable& servers;
  UploadQueue& queue;
  GlobalOptions& options;
  SharedFlags& flags;
  Translator& translator;
  SessionHistory& history;
  ConversationLog& log;
  WorkerMailbox& mailbox;
  Text siteBase;
  // The server settings dialog for a slot (-1: new); the slot to select.
  std::function<int(wxWindow* owner, int slot)> editServer;
  // Opens a server's address in the browser (slot from 1).
  std::function<void(int slot)> openServerInBrowser;
  // The locked-copy generator, owned by the About window.
  std::function<void(wxWindow* owner)> generateLockedCopy;
  // Paths dropped anywhere on the window.
  std::function<void(const std::vector<Text>& paths)> onDrop;
  // The window icon of the program's windows.
  wxIcon icon;
  // The locked copy's picture, shown in place of the server area.
  std::optional<wxBitmap> lockedPicture;
  // Each queue row's state picture and tip; "Retry now" in the queue list's
  // pop-up menu.
  std::function<QueueRowState(int row)> queueRowState;
  std::function<void()> retryNow;
  // Certificates the upload worker met, to ask the user about (null: none).
  CertificateTrustRequests* trustRequests = nullptr;
  // The watch-folder list (from the server list's pop-up menu).
  std::function<void(wxWindow* owner)> editWatchFolders = {};
  // Opens the History window (the queue list's pop-up).
  std::function<void(wxWindow* owner)> showHistory = {};
  // Asks for the global upload limit ("Limit..." in the queue's pop-up).
  std::function<void(wxWindow* owner)> editUploadLimit = {};
  // What the queue list's pop-up pauses and resumes (null: no such items).
  QueuePause* pause = nullptr;
};

class MainWindow : public wxFrame, public MainWindowView, public IntakeUi {
 public:
  MainWindow(MainWindowContext& context, const wxPoint& position);
  ~MainWindow() override;

  // Runs `pass` every 20 ms; `onEnd` is called once a pass asks to stop.
  void StartMainLoop(MainWindowPresenter& pass, std::function<void()> onEnd);
  void StopMainLoop();
  // Runs before every pass (e.g. paths handed over by a later start).
  void SetPassHook(std::function<void()> hook) { passHook_ = std::move(hook); }

  // Shows every label in the current language.
  void Relabel();
  // Hands the worker's latest texts and progress to the controls.
  void ApplyWorkerChanges();
  // Shows the trust window for the next certificate the worker met.
  void AskAboutCertificates();
  // Opens the Log window (or raises the open one).
  void OpenLogWindow();

  // IntakeUi
  Text SelectedServerName() const override;
  bool ZipChecked() const override;
  void ShowError(const Text& title, const Text& message) override;

  // MainWindowView
  int QueueCount() const override;
  const Text& QueueItem(int index) const override;
  void AppendQueueItem(const Text& text) override;
  void RemoveQueueItem(int index) override;
  int SelectedQueueItem() const override;
  void SelectQueueItem(int index) override;
  std::vector<int> SelectedQueueItems() const override;
  void RemoveQueueItems(const std::vector<int>& rows) override;
  void MoveQueueItems(const std::vector<int>& rows, bool toTop) override;
  void SetRemoveEnabled(bool enabled) override;
  void SetElapsedText(const Text& text) override;
  StatusTarget& StatusLine() override;
  Text CurrentFileText() const override;
  void ClearProgress() override;
  bool ServerListShown() const override;
  int SelectedServer() const override;
  Text ServerListText() const override;
  void FillServerList(const std::vector<Text>& names) override;
  void SelectServer(int index) override;
  void RemoveServerItem(int index) override;
  void RebuildServerArea(const Text& currentServer, bool hidden) override;
  bool AskYesNo(const Text& title, const Text& message) override;
  int EditServer(int slot) override;
  int ShowAbout(int hideServerList, int disableUpdates, bool lockedMode) override;
  void OpenAddress(const Text& url) override;
  Text Translate(TextView english) const override;
  Text Language() const override;

  // The server list's text for saving (nullopt when the list is hidden).
  std::optional<Text> ServerListTextForSaving() const;

  // Controls, for tests that drive the window.
  wxButton* AboutButton() const { return aboutButton_; }
  wxButton* RemoveButton() const { return removeButton_; }
  wxButton* DeleteButton() const { return deleteButton_; }
  wxButton* SiteButton() const { return siteButton_; }
  wxChoice* ServerList() const { return serverList_; }
  QueueListCtrl* QueueList() const { return queueList_; }
  wxStaticText* CurrentFile() const { return currentFileText_; }
  wxStaticText* Status() const { return statusText_; }
  wxGauge* ProgressBar() const { return progressBar_; }
  wxCheckBox* ZipCheck() const { return zipCheck_; }

 private:
  void BuildControls();
  // Builds the server area in its normal or hidden form (or the locked
  // picture); the old controls must be gone.
  void BuildServerArea(const Text& currentServer, bool hidden);
  void FreeServerArea();
  void HookEvents(wxWindow* window);
  void OnRightClick();
  // The queue list's pop-up as it stands now: what can be moved, paused or
  // resumed, for the row under the pointer (retryRow_).
  void PrepareQueueMenu();
  // "Retry now": an entry held by a certificate or host key the user
  // declined asks about it again; every waiting entry is tried at once.
  void OnRetryNow();
  void OnTimer();
  // "In progress..." and the elapsed seconds, as the frame's title.
  void ShowFrameTitle();

  bool askingTrust_ = false;
  // The last declined request of each server, and the row "Retry now" is for.
  std::map<Text, TrustRequest> declined_;
  int retryRow_ = -1;
  // The server of that row, which "Pause this server" is for.
  Text menuServer_;
  MainWindowContext& context_;
  MainWindowPresenter* pass_ = nullptr;
  std::function<void()> onLoopEnd_;
  std::function<void()> passHook_;
  std::function<void()> rightClickHandler_;
  wxTimer timer_;
  wxPanel* panel_ = nullptr;
  wxStaticText* serverLabel_ = nullptr;
  wxButton* aboutButton_ = nullptr;
  wxChoice* serverList_ = nullptr;
  wxButton* deleteButton_ = nullptr;
  wxButton* newButton_ = nullptr;
  wxButton* modifyButton_ = nullptr;
  wxStaticText* serverText_ = nullptr;
  wxStaticBitmap* picture_ = nullptr;
  wxStaticText* queueLabel_ = nullptr;
  QueueListCtrl* queueList_ = nullptr;
  wxButton* removeButton_ = nullptr;
  wxCheckBox* zipCheck_ = nullptr;
  wxStaticBox* progressFrame_ = nullptr;
  wxStaticText* currentFileText_ = nullptr;
  wxStaticText* statusText_ = nullptr;
  wxFont statusFont_;
  wxGauge* progressBar_ = nullptr;
  wxButton* siteButton_ = nullptr;
  wxMenu serverMenu_;
  wxMenu queueMenu_;
  int ticks_ = 0;
  wxWindow* logWindow_ = nullptr;
  Text elapsedShown_ = u"-";
  Text currentFile_;
  // The status line as the front upload last set it, and how many run.
  Text statusLine_;
  bool limited_ = false;  // the upload shown is held back by a limit
  int filesInProgress_ = 0;
};

}  // namespace wexmoor
