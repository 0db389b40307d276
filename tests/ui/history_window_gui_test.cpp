// The History window: newest first, the five columns, the buttons for the
// selected row, and every label fitting in every language (a screenshot each).
#include "ui/history_window.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/clipbrd.h>
#include <wx/listctrl.h>
#include <gtk/gtk.h>
#include <gdk/gdkx.h>

#include <cstdlib>
#include <filesystem>

#include "i18n/language_table.h"
#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "support/wx_pump.h"
#include "ui/wx_text.h"

namespace wexmoor {
namespace {

using testing::Pump;

class HistoryWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::EnsureWxStarted();
    std::filesystem::create_directories(dir.File("photos"));
    UploadHistory history(Utf8ToUtf16(file));
    UploadRecord sent;
    sent.result = UploadResult::kSent;
    sent.server = u"Web";
    sent.localPath = Utf8ToUtf16(dir.File("photos/Grüße 2026.jpg"));
    sent.remotePath = u"www/photos/Grüße 2026.jpg";
    sent.size = 48213;
    sent.milliseconds = 1200;
    sent.verification = u"sha256:9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
    sent.link = u"http://127.0.0.1:8000/photos/Gr%C3%BC%C3%9Fe%202026.jpg";
    sent.wallSeconds = 1'796'000'000;
    UploadRecord failed = sent;
    failed.result = UploadResult::kFailed;
    failed.reason = u"hash mismatch";
    failed.verification.clear();
    failed.link.clear();
    failed.wallSeconds -= 60;
    UploadRecord dropped = sent;
    dropped.result = UploadResult::kDropped;
    dropped.reason = u"no server named Old";
    dropped.server = u"Old";
    dropped.localPath = u"/scans/report.pdf";
    dropped.verification.clear();
    dropped.link.clear();
    dropped.wallSeconds -= 120;
    history.Record(dropped);
    history.Record(failed);
    history.Record(sent);
  }
  testing::TempFolder dir;
  std::string file = dir.File("Wexmoor.history");
  Translator translator{u"English"};
};

TEST_F(HistoryWindowTest, NewestFirstWithTheSelectedRowsLinkAndFolder) {
  HistoryWindow window(nullptr, translator, Utf8ToUtf16(file));
  window.Show();
  Pump(100);
  wxListCtrl* list = window.List();
  ASSERT_EQ(list->GetItemCount(), 3);
  ASSERT_EQ(list->GetColumnCount(), 5);
  EXPECT_EQ(FromWx(list->GetItemText(0, 1)), u"Sent");
  EXPECT_EQ(FromWx(list->GetItemText(0, 2)), u"Grüße 2026.jpg");
  EXPECT_EQ(FromWx(list->GetItemText(0, 3)), u"Web");
  EXPECT_EQ(FromWx(list->GetItemText(0, 4)), u"sha256:9f86d081\u2026");
  EXPECT_EQ(FromWx(list->GetItemText(1, 1)), u"Failed: hash mismatch");
  EXPECT_EQ(FromWx(list->GetItemText(2, 1)), u"Dropped: no server named Old");
  // The newest row is selected: its link and folder.
  EXPECT_EQ(window.SelectedLink(), u"http://127.0.0.1:8000/photos/Gr%C3%BC%C3%9Fe%202026.jpg");
  EXPECT_EQ(window.SelectedFolder(), Utf8ToUtf16(dir.File("photos")));
  EXPECT_TRUE(window.CopyLinkButton()->IsEnabled());
  EXPECT_TRUE(window.OpenFolderButton()->IsEnabled());
  // A failed row has no link; a folder that is gone cannot be opened.
  list->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  Pump(50);
  EXPECT_TRUE(window.SelectedLink().empty());
  EXPECT_FALSE(window.CopyLinkButton()->IsEnabled());
  list->SetItemState(2, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  Pump(50);
  EXPECT_FALSE(window.OpenFolderButton()->IsEnabled());  // /scans is not there
}

TEST_F(HistoryWindowTest, EmptyOrMissingHistoryShowsNoRowAndNoButton) {
  HistoryWindow window(nullptr, translator, Utf8ToUtf16(dir.File("none")));
  EXPECT_EQ(window.List()->GetItemCount(), 0);
  EXPECT_FALSE(window.CopyLinkButton()->IsEnabled());
  EXPECT_FALSE(window.OpenFolderButton()->IsEnabled());
}

TEST_F(HistoryWindowTest, EveryLabelFitsInEveryLanguage) {
  const std::string folder = testing::BinaryDir() + "/screenshots";
  std::filesystem::create_directories(folder);
  for (TextView language : kLanguageNames) {
    translator.SetLanguage(language);
    HistoryWindow window(nullptr, translator, Utf8ToUtf16(file));
    window.Show();
    Pump(300);
    const std::string name(Utf16ToUtf8(language));
    EXPECT_EQ(window.GetClientSize(), wxSize(HistoryWindow::kWidth, HistoryWindow::kHeight)) << name;
    for (wxButton* button : {window.CopyLinkButton(), window.OpenFolderButton()}) {
      wxFont font = button->GetFont();
      int width = 0, height = 0;
      button->GetTextExtent(button->GetLabel(), &width, &height, nullptr, nullptr, &font);
      EXPECT_LE(width, button->GetSize().GetWidth() - 12) << name << ": " << button->GetLabel();
      EXPECT_GE(font.GetFractionalPointSize(), 6.0) << name;
    }
    // Each column title fits its column.
    for (int column = 0; column < window.List()->GetColumnCount(); ++column) {
      wxListItem item;
      item.SetMask(wxLIST_MASK_TEXT);
      window.List()->GetColumn(column, item);
      int width = 0, height = 0;
      window.List()->GetTextExtent(item.GetText(), &width, &height);
      EXPECT_LE(width + 12, window.List()->GetColumnWidth(column)) << name << ": " << item.GetText();
    }
    GdkWindow* gdk = gtk_widget_get_window(window.GetHandle());
    ASSERT_NE(gdk, nullptr);
    const std::string command = "import -window " + std::to_string(gdk_x11_window_get_xid(gdk)) + " '" + folder +
                                "/history_" + name + ".png' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
}

}  // namespace
}  // namespace wexmoor
