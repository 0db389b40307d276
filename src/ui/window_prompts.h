// The update check's questions and messages, shown by the window's thread.
// The asking thread waits for the answer; the window never waits for it. Once
// the program closes, every question still open is answered "no" at once.
#pragma once

#include <atomic>
#include <functional>

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
  void Close() { closed_ = true; }

 private:
  // Runs `show` on the window's thread; waits until it ran or Close().
  bool RunOnWindowThread(std::function<bool()> show);

  wxWindow* owner_;
  std::function<void()> notice_;
  std::atomic<bool> closed_{false};
};

}  // namespace wexmoor
