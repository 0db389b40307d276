#include "ui/window_prompts.h"

#include <memory>
#include <mutex>

#include <wx/app.h>
#include <wx/msgdlg.h>

#include "platform/wait.h"
#include "ui/wx_text.h"

namespace wexmoor {
namespace {

struct Answer {
  std::mutex mutex;
  bool done = false;
  bool value = false;
};

}  // namespace

WindowPrompts::WindowPrompts(wxWindow* owner, std::function<void()> notice)
    : owner_(owner), notice_(std::move(notice)) {}

bool WindowPrompts::RunOnWindowThread(std::function<bool()> show) {
  if (Closed()) return false;
  auto answer = std::make_shared<Answer>();
  wxTheApp->CallAfter([this, answer, show = std::move(show)] {
    const bool value = Closed() ? false : show();
    std::lock_guard lock(answer->mutex);
    answer->value = value;
    answer->done = true;
  });
  const bool answered = WaitUntil(
      [&answer] {
        std::lock_guard lock(answer->mutex);
        return answer->done;
      },
      -1, closing_.get_token());
  if (!answered) return false;
  std::lock_guard lock(answer->mutex);
  return answer->value;
}

void WindowPrompts::ShowMessage(const Text& title, const Text& text) {
  RunOnWindowThread([this, title, text] {
    wxMessageBox(ToWx(text), ToWx(title), wxOK, owner_);
    return true;
  });
}

bool WindowPrompts::AskYesNo(const Text& title, const Text& text) {
  return RunOnWindowThread([this, title, text] {
    return wxMessageBox(ToWx(text), ToWx(title), wxYES_NO, owner_) == wxYES;
  });
}

void WindowPrompts::ShowUpdateNotice() {
  RunOnWindowThread([this] {
    if (notice_) notice_();
    return true;
  });
}

void WindowPrompts::PostMessage(const Text& title, const Text& text) {
  if (Closed()) return;
  wxTheApp->CallAfter([this, title, text] {
    if (!Closed()) wxMessageBox(ToWx(text), ToWx(title), wxOK, owner_);
  });
}

}  // namespace wexmoor
