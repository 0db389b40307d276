// The update check's boxes, answered from a script: each question takes the
// next answer, and `unscripted` once the script is used up. Messages and
// questions are kept as "title|text".
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

#include "web/update_prompts.h"

namespace wexmoor::testing {

class ScriptedPrompts : public UpdatePrompts {
 public:
  explicit ScriptedPrompts(bool unscripted = false) : unscripted_(unscripted) {}

  void ShowMessage(const Text& title, const Text& text) override {
    std::lock_guard lock(mutex);
    messages.push_back(title + u"|" + text);
  }
  bool AskYesNo(const Text& title, const Text& text) override {
    std::lock_guard lock(mutex);
    questions.push_back(title + u"|" + text);
    if (answers.empty()) return unscripted_;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }
  void ShowUpdateNotice() override { ++notices; }

  std::vector<Text> Messages() {
    std::lock_guard lock(mutex);
    return messages;
  }

  std::mutex mutex;
  std::deque<bool> answers;
  std::vector<Text> messages, questions;
  std::atomic<int> notices{0};

 private:
  const bool unscripted_;
};

}  // namespace wexmoor::testing
