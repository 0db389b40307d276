// Starting wxWidgets once per test program and running its events, for the
// tests that show real windows (they run on a display, label "gui").
#pragma once

#include <wx/wx.h>

#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "ui/locked/locked_picture.h"
#include "ui/compact_style.h"

namespace wexmoor::testing {

class WxTestApp final : public wxApp {
 public:
  bool OnInit() override { return true; }
  // A failed wx check fails the test instead of opening a modal box that
  // nobody closes.
  void OnAssertFailure(const wxChar* file, int line, const wxChar* func, const wxChar* cond,
                       const wxChar* msg) override {
    ADD_FAILURE() << "wx check failed at " << wxString(file) << ":" << line << " in " << wxString(func) << ": "
                  << wxString(cond) << " " << wxString(msg);
  }
};

// wx starts once per process; another suite of the same program may have
// started it already.
inline void EnsureWxStarted() {
  if (wxTheApp) return;
  wxApp::SetInstance(new WxTestApp);
  int argc = 1;
  char name[] = "wexmoor-gui-test";
  char* argv[] = {name, nullptr};
  ASSERT_TRUE(wxEntryStart(argc, argv));
  ASSERT_TRUE(wxTheApp->CallOnInit());
  InitPictureHandlers();
  InstallCompactStyle();
}

// Runs the window's events until `done` holds or `seconds` pass.
inline bool PumpUntil(const std::function<bool()>& done, int seconds = 30) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    wxTheApp->Yield(true);
    wxTheApp->ProcessPendingEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

inline void Pump(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  PumpUntil([&] { return std::chrono::steady_clock::now() > until; }, 60);
}

}  // namespace wexmoor::testing
