// The update check's questions and messages, shown by the window's thread.
// The asking thread waits for the answer; the window never waits for it. Once
// the program closes, every question still open is answered "no" at once.
#pragma once

#include <functional>
#include <stop_token>

#include <wx/window.h>

#include "web/update_prompts.h"

namespace wexmoor {

class WindowPrompts : public UpdatePrompts {
 public:
  // `owner` is the main window; `notice` shows the "Download is done." window.
  WindowPrompts(wxWindow* owner, std::function<void()> notice);

  void ShowMessage(const Text& title, const Text& text) override;
  bool AskYesNo(const Text& title, const Text& text) override;
  void ShowUpdateNotice() override;
  void PostMessage(const Text& title, const Text& text) override;

  // Ends every wait; later prompts return at once.
  void Close() { closing_.request_stop(); }

 private:
  bool Closed() const { return closing_.stop_requested(); }
  // Runs `show` on the window's thread; waits (platform/wait) until it ran or
  // Close() was called.
  bool RunOnWindowThread(std::function<bool()> show);

  wxWindow* owner_;
  std::function<void()> notice_;
  std::stop_source closing_;
};

}  // namespace wexmoor
