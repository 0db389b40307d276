#include "ui/log_window.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/panel.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include "ui/secondary_position.h"
#include "ui/wx_text.h"
#include "program/log_follow.h"

namespace wexmoor {

namespace {

// CR LF and lone CR become the text control's line breaks.
wxString ForDisplay(const Text& text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') {
      out.push_back(u'\n');
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return ToWx(out);
}

class LogWindow : public wxDialog {
 public:
  LogWindow(wxWindow* owner, const SessionHistory& history, const ConversationLog& log,
            const SharedFlags& flags, std::function<void()> onClosed)
      : wxDialog(owner, wxID_ANY, "Log", SecondaryWindowPosition(), wxDefaultSize,
                 wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
        log_(log),
        flags_(flags),
        onClosed_(std::move(onClosed)),
        timer_(this) {
    SetClientSize(440, 200);
    Move(SecondaryWindowPosition());
    auto* panel = new wxPanel(this, wxID_ANY, wxPoint(0, 0), wxSize(440, 200));
    text_ = new wxTextCtrl(panel, wxID_ANY, wxString(), wxPoint(10, 10), wxSize(415, 150),
                           wxTE_MULTILINE | wxTE_READONLY | wxVSCROLL);
    auto* ok = new wxButton(panel, wxID_OK, "OK", wxPoint(355, 170), wxSize(70, 22));
    ok->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Finish(); });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Finish(); });
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Follow(); });
    shown_ = history.Get();
    ShowText(shown_);
    timer_.Start(20);
  }

 private:
  void Follow() {
    if (flags_.quitRequested.load()) {
      Finish();
      return;
    }
    Text now = log_.Get();
    if (now == copy_) return;
    shown_ = FollowLog(shown_, copy_.size(), now);
    copy_ = std::move(now);
    ShowText(shown_);
  }
  void ShowText(const Text& text) {
    text_->ChangeValue(ForDisplay(text));
    text_->ShowPosition(text_->GetLastPosition());
  }
  void Finish() {
    if (finished_) return;
    finished_ = true;
    timer_.Stop();
    if (onClosed_) onClosed_();
    if (GetParent()) GetParent()->SetFocus();
    Destroy();
  }

  const ConversationLog& log_;
  const SharedFlags& flags_;
  std::function<void()> onClosed_;
  wxTimer timer_;
  wxTextCtrl* text_ = nullptr;
  Text shown_;
  Text copy_;
  bool finished_ = false;
};

}  // namespace

wxWindow* ShowLogWindow(wxWindow* owner, const SessionHistory& history, const ConversationLog& log,
                        const SharedFlags& flags, std::function<void()> onClosed) {
  auto* window = new LogWindow(owner, history, log, flags, std::move(onClosed));
  window->wxDialog::Show(true);
  return window;
}

}  // namespace wexmoor
