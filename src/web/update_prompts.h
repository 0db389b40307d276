// What the update check needs from the window. The update thread calls these;
// the window's thread shows the boxes and answers.
#pragma once

#include "http/http_state.h"
#include "platform/text.h"

namespace wexmoor {

class UpdatePrompts : public HttpErrorBoxes {
 public:
  virtual ~UpdatePrompts() = default;
  // An OK box; returns when it was closed.
  virtual void ShowMessage(const Text& title, const Text& text) = 0;
  // A Yes/No box; returns true for Yes.
  virtual bool AskYesNo(const Text& title, const Text& text) = 0;
  // The "Download is done." window.
  virtual void ShowUpdateNotice() = 0;
  // An OK box that the caller does not wait for (errors of a web request,
  // raised on the request thread). The window should override this to post
  // the box to its own thread and return at once; the fallback waits.
  void PostMessage(const Text& title, const Text& text) override { ShowMessage(title, text); }
};

}  // namespace wexmoor
