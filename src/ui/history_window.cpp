#include "ui/history_window.h"

#include <wx/button.h>
#include <wx/clipbrd.h>
#include <wx/listctrl.h>
#include <wx/log.h>
#include <wx/panel.h>
#include <wx/utils.h>

#include "platform/files.h"
#include "ui/label_fit.h"
#include "ui/wx_text.h"

namespace wexmoor {

namespace {
constexpr int kButtonRoom = 12;

Text FolderOf(const Text& path) {
  const std::size_t slash = path.rfind(u'/');
  if (slash == Text::npos) return {};
  return slash == 0 ? Text(u"/") : path.substr(0, slash);
}

// A digest shortened for its column: the kind and the first 8 digits.
Text ShortVerification(const Text& verification) {
  const std::size_t colon = verification.find(u':');
  if (colon == Text::npos || verification.size() <= colon + 9) return verification == u"-" ? Text() : verification;
  return verification.substr(0, colon + 9) + u"\u2026";
}
}  // namespace

std::vector<HistoryRow> RecentHistory(const Text& historyFile, std::size_t count) {
  std::vector<HistoryRow> rows;
  const std::vector<std::string> lines = LastHistoryLines(historyFile, count);
  for (auto line = lines.rbegin(); line != lines.rend(); ++line)
    if (auto row = ParseHistoryLine(*line)) rows.push_back(std::move(*row));
  return rows;
}

Text HistoryTimeCell(const HistoryRow& row) {
  // "2026-12-09T06:12:03+01:00": the date and the time of day.
  if (row.time.size() < 19 || row.time[10] != u'T') return row.time;
  return row.time.substr(0, 10) + u" " + row.time.substr(11, 8);
}

Text HistoryResultCell(const HistoryRow& row, const Translator& translator) {
  const std::size_t colon = row.result.find(u": ");
  const Text word = row.result.substr(0, colon);
  const Text reason = colon == Text::npos ? Text() : row.result.substr(colon + 2);
  Text shown = word;
  if (word == u"sent") shown = translator.Translate(u"Sent");
  else if (word == u"failed") shown = translator.Translate(u"Failed");
  else if (word == u"dropped") shown = translator.Translate(u"Dropped");
  return reason.empty() ? shown : shown + u": " + reason;
}

HistoryWindow::HistoryWindow(wxWindow* owner, const Translator& translator, const Text& historyFile)
    : wxDialog(owner, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxCAPTION | wxCLOSE_BOX),
      translator_(translator),
      rows_(RecentHistory(historyFile, kRows)) {
  SetTitle(ToWx(Tr(u"History")));
  auto* panel = new wxPanel(this, wxID_ANY, wxPoint(0, 0), wxSize(kWidth, kHeight));
  list_ = new wxListCtrl(panel, wxID_ANY, wxPoint(8, 8), wxSize(kWidth - 16, kHeight - 48),
                         wxLC_REPORT | wxLC_SINGLE_SEL);
  const struct {
    const char16_t* title;
    int width;
  } columns[] = {{u"Time", 140}, {u"Result", 190}, {u"File", 160}, {u"Server", 80}, {u"Verification", 128}};
  for (int i = 0; i < 5; ++i) list_->AppendColumn(ToWx(Tr(columns[i].title)), wxLIST_FORMAT_LEFT, columns[i].width);
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const HistoryRow& row = rows_[i];
    const long at = list_->InsertItem(static_cast<long>(i), ToWx(HistoryTimeCell(row)));
    list_->SetItem(at, 1, ToWx(HistoryResultCell(row, translator_)));
    list_->SetItem(at, 2, ToWx(FileNamePart(row.localPath)));
    list_->SetItem(at, 3, ToWx(row.server));
    list_->SetItem(at, 4, ToWx(ShortVerification(row.verification)));
  }
  const int y = kHeight - 32;
  auto button = [&](int id, const Text& text, int x, int w) {
    auto* made = new wxButton(panel, id, wxControl::EscapeMnemonics(ToWx(text)), wxPoint(x, y), wxSize(w, 24));
    FitLabelFont(made, kButtonRoom);
    return made;
  };
  copyLink_ = button(wxID_ANY, Tr(u"Copy link"), 8, 150);
  openFolder_ = button(wxID_ANY, Tr(u"Open containing folder"), 164, 170);
  button(wxID_OK, Tr(u"OK"), kWidth - 100, 92);
  SetClientSize(kWidth, kHeight);
  CentreOnParent();
  copyLink_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { CopyLink(); });
  openFolder_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OpenFolder(); });
  list_->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent& e) {
    e.Skip();
    UpdateButtons();
  });
  list_->Bind(wxEVT_LIST_ITEM_DESELECTED, [this](wxListEvent& e) {
    e.Skip();
    UpdateButtons();
  });
  if (!rows_.empty()) list_->SetItemState(0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                                          wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
  UpdateButtons();
}

int HistoryWindow::Selected() const {
  const long at = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
  return at >= 0 && at < static_cast<long>(rows_.size()) ? static_cast<int>(at) : -1;
}

Text HistoryWindow::SelectedLink() const {
  const int at = Selected();
  if (at < 0) return {};
  const Text& link = rows_[static_cast<std::size_t>(at)].link;
  return link == u"-" ? Text() : link;
}

Text HistoryWindow::SelectedFolder() const {
  const int at = Selected();
  return at < 0 ? Text() : FolderOf(rows_[static_cast<std::size_t>(at)].localPath);
}

void HistoryWindow::UpdateButtons() {
  copyLink_->Enable(!SelectedLink().empty());
  openFolder_->Enable(!SelectedFolder().empty() && IsFolder(SelectedFolder()));
}

void HistoryWindow::CopyLink() {
  const Text link = SelectedLink();
  if (link.empty() || !wxTheClipboard->Open()) return;
  wxTheClipboard->SetData(new wxTextDataObject(ToWx(link)));
  wxTheClipboard->Close();
}

void HistoryWindow::OpenFolder() {
  const Text folder = SelectedFolder();
  if (folder.empty()) return;
  wxLogNull quiet;  // a failure says nothing, as the other launches
  wxLaunchDefaultApplication(ToWx(folder));
}

void ShowHistoryWindow(wxWindow* owner, const Translator& translator, const Text& historyFile) {
  HistoryWindow window(owner, translator, historyFile);
  window.ShowModal();
}

}  // namespace wexmoor
