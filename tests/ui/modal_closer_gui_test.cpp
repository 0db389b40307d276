#include "ui/modal_closer.h"

#include <gtest/gtest.h>
#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/timer.h>

#include <chrono>

#include "support/wx_pump.h"

namespace wexmoor {
namespace {

using testing::EnsureWxStarted;

// A close request while a message box, opened from a timer's handler (as the
// main loop's pass opens its boxes), waits above a modal dialog: the box,
// then a box opened after the request, then the dialog end, innermost first.
TEST(ModalCloser, EndsNestedModalWindowsInnermostFirstAndAnyOpenedLater) {
  EnsureWxStarted();
  bool signalled = false;
  int asked = 0;
  ModalCloser closer([&] {
    ++asked;
    return signalled;
  });
  wxDialog outer(nullptr, wxID_ANY, "outer", wxDefaultPosition, wxSize(200, 100));
  int firstAnswer = 0;
  int laterAnswer = 0;
  bool outerStillModal = false;
  wxTimer opener;
  opener.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    signalled = true;
    firstAnswer = wxMessageBox("first", "Error", wxOK | wxICON_ERROR, &outer);
    outerStillModal = outer.IsModal();
    laterAnswer = wxMessageBox("opened after the request", "CAUTION!", wxYES_NO | wxICON_WARNING, &outer);
  });
  outer.CallAfter([&] { opener.StartOnce(100); });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(outer.ShowModal(), wxID_CANCEL);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ(firstAnswer, wxCANCEL);
  EXPECT_TRUE(outerStillModal) << "the dialog below waits until the box above it ended";
  EXPECT_EQ(laterAnswer, wxCANCEL) << "never a yes";
  EXPECT_TRUE(closer.Closing());
  const int askedWhenClosing = asked;
  testing::Pump(100);
  EXPECT_EQ(asked, askedWhenClosing) << "the request is read once";
  EXPECT_FALSE(ModalCloser::EndInnermostModal()) << "nothing left open";
}

}  // namespace
}  // namespace wexmoor
