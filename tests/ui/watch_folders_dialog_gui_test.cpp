#include "ui/watch_folders_dialog.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <gtk/gtk.h>
#include <gdk/gdkx.h>

#include <cstdlib>
#include <filesystem>

#include "peers/test_paths.h"
#include "support/wx_pump.h"
#include "platform/code_page.h"
#include "i18n/language_table.h"
#include "ui/wx_text.h"

namespace wexmoor {
namespace {

using testing::Pump;

class WatchFoldersDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::EnsureWxStarted();
    for (const char16_t* name : {u"Office", u"Home"}) {
      ServerRecord record;
      record.name = name;
      servers.Set(servers.Count() + 1, record);
    }
  }
  ServerTable servers;
  Translator translator{u"English"};
  std::vector<WatchFolderSetting> stored{{u"/scans", u"Office", u"in", 1}};
};

TEST_F(WatchFoldersDialogTest, RowsAreShownAddedAndDeletedAndOnlyOkKeepsThem) {
  WatchFoldersDialog dialog(nullptr, translator, servers, stored);
  ASSERT_EQ(dialog.List()->GetCount(), 1u);
  EXPECT_EQ(FromWx(dialog.List()->GetString(0)), WatchFolderRowText(stored[0]));
  dialog.List()->SetSelection(0);
  dialog.ShowSelected();
  EXPECT_EQ(FromWx(dialog.FolderField()->GetValue()), u"/scans");
  EXPECT_EQ(FromWx(dialog.ServerChoice()->GetStringSelection()), u"Office");
  EXPECT_TRUE(dialog.MoveCheck()->GetValue());

  // A second folder from the fields; a leading "/" of the subfolder goes.
  dialog.FolderField()->ChangeValue("/exports");
  dialog.ServerChoice()->SetStringSelection("Home");
  dialog.SubfolderField()->ChangeValue("/web/new");
  dialog.MoveCheck()->SetValue(false);
  dialog.Add();
  // What the stored value could not hold is refused.
  dialog.SubfolderField()->ChangeValue("a|b");
  dialog.Add();
  dialog.FolderField()->ChangeValue("");
  dialog.SubfolderField()->ChangeValue("x");
  dialog.Add();
  ASSERT_EQ(dialog.Folders().size(), 2u);
  EXPECT_EQ(dialog.Folders()[1], (WatchFolderSetting{u"/exports", u"Home", u"web/new", 0}));
  dialog.List()->SetSelection(0);
  dialog.DeleteSelected();
  ASSERT_EQ(dialog.Folders().size(), 1u);
  EXPECT_EQ(dialog.Folders()[0].folder, u"/exports");

  // Cancel keeps the list as it was; OK takes the dialog's.
  std::vector<WatchFolderSetting> list = stored;
  auto answer = [](int button) {
    wxTheApp->CallAfter([button] {
      for (wxWindow* window : wxTopLevelWindows) {
        auto* shown = dynamic_cast<WatchFoldersDialog*>(window);
        if (shown && shown->IsModal()) {
          if (button == wxID_OK) shown->List()->SetSelection(0), shown->DeleteSelected();
          shown->EndModal(button);
        }
      }
    });
  };
  answer(wxID_CANCEL);
  EXPECT_FALSE(EditWatchFolders(nullptr, translator, servers, list));
  EXPECT_EQ(list, stored);
  answer(wxID_OK);
  EXPECT_TRUE(EditWatchFolders(nullptr, translator, servers, list));
  EXPECT_TRUE(list.empty());
}

TEST_F(WatchFoldersDialogTest, EveryLabelFitsInEveryLanguage) {
  const std::string folder = testing::BinaryDir() + "/screenshots";
  std::filesystem::create_directories(folder);
  for (TextView language : kLanguageNames) {
    translator.SetLanguage(language);
    WatchFoldersDialog dialog(nullptr, translator, servers, stored);
    dialog.Show();
    Pump(300);
    EXPECT_EQ(dialog.GetClientSize(), wxSize(WatchFoldersDialog::kWidth, WatchFoldersDialog::kHeight));
    const std::string name(Utf16ToUtf8(language));
    for (wxWindow* control : dialog.Labelled()) {
      int reserved = 0;
      if (dynamic_cast<wxButton*>(control)) reserved = 12;
      if (dynamic_cast<wxCheckBox*>(control)) reserved = 20;
      wxFont font = control->GetFont();
      int width = 0, height = 0;
      control->GetTextExtent(control->GetLabel(), &width, &height, nullptr, nullptr, &font);
      EXPECT_LE(width, control->GetSize().GetWidth() - reserved) << name << ": " << control->GetLabel();
      EXPECT_LE(height, control->GetSize().GetHeight()) << name << ": " << control->GetLabel();
      EXPECT_GE(font.GetFractionalPointSize(), 6.0);
    }
    GdkWindow* gdk = gtk_widget_get_window(dialog.GetHandle());
    ASSERT_NE(gdk, nullptr);
    const std::string command = "import -window " + std::to_string(gdk_x11_window_get_xid(gdk)) + " '" + folder +
                                "/watch_folders_" + name + ".png' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
}

}  // namespace
}  // namespace wexmoor
