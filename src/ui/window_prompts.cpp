#include "ui/window_prompts.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include <wx/app.h>
#include <wx/msgdlg.h>

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
  if (closed_) return false;
  auto answer = std::make_shared<Answer>();
  wxTheApp->CallAfter([this, answer, show = std::move(show)] {
    const bool value = closed_ ? false : show();
    std::lock_guard lock(answer->mutex);
    answer->value = value;
    answer->done = true;
  });
  for (;;) {
    {
      std::lock_guard lock(answer->mutex);
      if (answer->done) return answer->value;
    }
    if (closed_) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
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
  if (closed_) return;
  wxTheApp->CallAfter([this, title, text] {
    if (!closed_) wxMessageBox(ToWx(text), ToWx(title), wxOK, owner_);
  });
}

}  // namespace wexmoor
