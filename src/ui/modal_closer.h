// A close request (SIGTERM, SIGINT) must be honoured whatever window waits
// for the user: the language chooser, the welcome window, a message box, the
// server dialog, the generator dialog and its file requesters, About, a
// pop-up menu. Each of them runs a loop of its own, so the request is watched
// by a timer of its own, which fires inside any of those loops.
#pragma once

#include <functional>

#include <wx/timer.h>

namespace wexmoor {

class ModalCloser : public wxTimer {
 public:
  static constexpr int kTickMs = 20;

  // `closeSignalled` is asked on every tick until it answers true once; from
  // then on every tick ends the innermost modal window still open, so a
  // window opened after the request closes at once too.
  explicit ModalCloser(std::function<bool()> closeSignalled);
  ~ModalCloser() override;

  bool Closing() const { return closing_; }

  // Ends the innermost open modal window: every open GTK dialog (message
  // boxes, file requesters) and pop-up menu, or else the most recently made
  // modal wxDialog, closed as its close box would. False when none is open.
  static bool EndInnermostModal();

  void Notify() override;

 private:
  std::function<bool()> closeSignalled_;
  bool closing_ = false;
};

}  // namespace wexmoor
