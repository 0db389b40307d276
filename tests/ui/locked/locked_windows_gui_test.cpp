#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/image.h>
#include <wx/listctrl.h>
#include <wx/mstream.h>

#include <string>
#include <vector>

#include "ui/locked/generator_dialog.h"
#include "ui/locked/locked_picture.h"
#include "locked/locked_zones.h"
#include "ui/locked/welcome_window.h"
#include "peers/test_paths.h"
#include "support/wx_pump.h"
#include "platform/files.h"

namespace wexmoor {
namespace {

// wx starts once per process.
void EnsureWxStarted() {
  testing::EnsureWxStarted();
  InitPictureHandlers();  // a second call must not register anything twice
}

// A picture of the given size in the given format, as its file bytes.
std::string Encoded(int width, int height, wxBitmapType type) {
  wxImage image(width, height);
  image.SetRGB(wxRect(0, 0, width, height), 30, 90, 200);
  image.SetRGB(wxRect(0, 0, width / 2, height / 2), 250, 250, 20);
  wxMemoryOutputStream out;
  if (!image.SaveFile(out, type)) return {};
  std::string bytes(out.GetSize(), '\0');
  out.CopyTo(bytes.data(), bytes.size());
  return bytes;
}

const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

class LockedWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureWxStarted(); }
  testing::TempFolder folder;
  Translator translator;
};

TEST_F(LockedWindowsTest, PictureDecodesFromTheZeroPaddedAreaAndFitsTheBox) {
  const std::string png = Encoded(400, 90, wxBITMAP_TYPE_PNG);
  ASSERT_FALSE(png.empty());
  ASSERT_LT(png.size(), kLockedPictureAreaBytes);
  std::vector<unsigned char> area(kLockedPictureAreaBytes, 0);
  std::copy(png.begin(), png.end(), area.begin());

  PictureSlot slot;
  ASSERT_TRUE(slot.LoadPicture(std::span<const volatile unsigned char>(area.data(), area.size())));
  EXPECT_EQ(slot.Width(), 400);
  EXPECT_EQ(slot.Height(), 90);
  EXPECT_TRUE(slot.FitPicture(186, 45));
  EXPECT_EQ(slot.Width(), 186);
  EXPECT_EQ(slot.Height(), 41);
  EXPECT_TRUE(slot.Bitmap().IsOk());
  EXPECT_FALSE(slot.FitPicture(186, 45));

  // An empty area (no picture chosen) and damaged bytes are refused quietly;
  // the slot keeps what it held.
  std::vector<unsigned char> zeros(kLockedPictureAreaBytes, 0);
  EXPECT_FALSE(slot.LoadPicture(zeros.data(), zeros.size()));
  std::string damaged = png.substr(0, 40) + std::string(200, '\x7f');
  EXPECT_FALSE(slot.LoadPicture(Bytes(damaged), damaged.size()));
  EXPECT_FALSE(slot.LoadPicture(nullptr, 0));
  EXPECT_EQ(slot.Width(), 186);
  PictureSlot empty;
  EXPECT_FALSE(empty.LoadPicture(zeros.data(), zeros.size()));
  EXPECT_FALSE(empty.HasPicture());
}

TEST_F(LockedWindowsTest, EveryAcceptedFormatDecodesAtItsOwnSize) {
  int decoded = 0;
  for (wxBitmapType type : {wxBITMAP_TYPE_JPEG, wxBITMAP_TYPE_BMP, wxBITMAP_TYPE_ICO, wxBITMAP_TYPE_GIF}) {
    const std::string bytes = Encoded(type == wxBITMAP_TYPE_ICO ? 32 : 300, type == wxBITMAP_TYPE_ICO ? 32 : 40, type);
    if (bytes.empty()) continue;  // this build of wx cannot write the format
    PictureSlot slot;
    ASSERT_TRUE(slot.LoadPicture(Bytes(bytes), bytes.size())) << "type " << type;
    ++decoded;
    EXPECT_EQ(slot.Width(), type == wxBITMAP_TYPE_ICO ? 32 : 300);
    slot.FitPicture(186, 45);
    if (type != wxBITMAP_TYPE_ICO) {
      EXPECT_EQ(slot.Height(), 24);
    }
  }
  EXPECT_GE(decoded, 3);
}

TEST_F(LockedWindowsTest, GeneratorDialogListsServersAndGuardsOkAndThePicture) {
  ServerTable servers;
  ServerRecord record;
  record.name = u"One";
  record.address = u"127.0.0.1/a";
  servers.Set(1, record);
  record.name = u"Two";
  servers.Set(2, record);

  GeneratorDialog dialog(nullptr, servers, translator);
  EXPECT_EQ(dialog.GetClientSize(), wxSize(380, 470));
  wxListCtrl* list = dialog.ServerList();
  ASSERT_EQ(list->GetItemCount(), 2);
  EXPECT_EQ(list->GetItemText(1, 1), "127.0.0.1/a");
  EXPECT_FALSE(dialog.OkButton()->IsEnabled());
  // The list's own selection events switch OK on and off.
  list->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  EXPECT_TRUE(dialog.OkButton()->IsEnabled());
  list->SetItemState(1, 0, wxLIST_STATE_SELECTED);
  EXPECT_FALSE(dialog.OkButton()->IsEnabled());

  const Text big = NativeToPath(folder.File("big.jpg"));
  ASSERT_TRUE(WriteWholeFile(big, std::string(15001, 'x')));
  Text message = dialog.TakePicture(big);
  EXPECT_NE(message.find(u"15001"), Text::npos);
  EXPECT_TRUE(dialog.PicturePath().empty());

  const Text logo = NativeToPath(folder.File("logo.png"));
  ASSERT_TRUE(WriteWholeFile(logo, Encoded(400, 90, wxBITMAP_TYPE_PNG)));
  EXPECT_TRUE(dialog.TakePicture(logo).empty());
  EXPECT_EQ(dialog.PicturePath(), logo);
  EXPECT_EQ(dialog.Picture().Width(), 186);
  EXPECT_EQ(dialog.Picture().Height(), 41);

  const Text junk = NativeToPath(folder.File("junk.gif"));
  ASSERT_TRUE(WriteWholeFile(junk, "GIF89a but nothing else"));
  EXPECT_TRUE(dialog.TakePicture(junk).empty());
  EXPECT_TRUE(dialog.PicturePath().empty());
}

TEST_F(LockedWindowsTest, ModalGeneratorReturnsTheChosenRowAndWelcomeWindowCloses) {
  ServerTable servers;
  ServerRecord record;
  record.name = u"Only";
  servers.Set(1, record);
  {
    GeneratorDialog dialog(nullptr, servers, translator);
    dialog.CallAfter([&dialog] {
      dialog.ServerList()->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
      dialog.UpdateOkButton();
      wxCommandEvent click(wxEVT_BUTTON, wxID_OK);
      click.SetEventObject(dialog.OkButton());
      dialog.OkButton()->GetEventHandler()->ProcessEvent(click);
    });
    EXPECT_EQ(dialog.ShowModal(), wxID_OK);
    EXPECT_EQ(dialog.ChosenSlot(), 1);
  }
  {
    WelcomeWindow welcome(nullptr, translator);
    EXPECT_EQ(welcome.GetClientSize(), wxSize(390, 240));
    welcome.CallAfter([&welcome] { welcome.EndModal(wxID_OK); });
    EXPECT_EQ(welcome.ShowModal(), wxID_OK);
  }
}

}  // namespace
}  // namespace wexmoor
