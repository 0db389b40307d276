// The History window: the most recent upload results, newest first (time,
// result, file, server, verification), with "Copy link" and "Open containing
// folder" for the selected row. Reached from the queue list's pop-up menu;
// reads the history file when it opens.
#pragma once

#include <vector>

#include <wx/dialog.h>

#include "i18n/language_translator.h"
#include "platform/text.h"
#include "spooler/upload_history.h"

class wxButton;
class wxListCtrl;

namespace wexmoor {

// The rows the window shows: the last `count` lines of the history, newest
// first, lines that are not results left out.
std::vector<HistoryRow> RecentHistory(const Text& historyFile, std::size_t count);

// What the window's cells say: "2026-12-09 06:12:03" for the time; the
// translated result word, followed by the reason after a failure or a drop.
Text HistoryTimeCell(const HistoryRow& row);
Text HistoryResultCell(const HistoryRow& row, const Translator& translator);

class HistoryWindow : public wxDialog {
 public:
  static constexpr int kWidth = 720;
  static constexpr int kHeight = 300;
  static constexpr std::size_t kRows = 500;

  HistoryWindow(wxWindow* owner, const Translator& translator, const Text& historyFile);

  // For tests: the list, the buttons and the rows shown.
  wxListCtrl* List() const { return list_; }
  wxButton* CopyLinkButton() const { return copyLink_; }
  wxButton* OpenFolderButton() const { return openFolder_; }
  const std::vector<HistoryRow>& Rows() const { return rows_; }
  // The selected row's link (empty: none), and its local file's folder.
  Text SelectedLink() const;
  Text SelectedFolder() const;

 private:
  Text Tr(const char16_t* english) const { return translator_.Translate(english); }
  int Selected() const;
  void UpdateButtons();
  void CopyLink();
  void OpenFolder();

  const Translator& translator_;
  std::vector<HistoryRow> rows_;
  wxListCtrl* list_ = nullptr;
  wxButton* copyLink_ = nullptr;
  wxButton* openFolder_ = nullptr;
};

// Opens the window over `owner` and returns when it is closed.
void ShowHistoryWindow(wxWindow* owner, const Translator& translator, const Text& historyFile);

}  // namespace wexmoor
