// Translate: every displayed text is written in English and looked up here at
// the moment it is shown. The current language is written by the window's
// thread and read by workers (update check, drop intake), so it sits behind a
// short lock; each lookup reads it once.
#pragma once

#include <mutex>

#include "platform/text.h"

namespace wexmoor {

// The text in the given language: unchanged for "English" (the table is not
// consulted), for a text that is not a key, and for a language that is none of
// the six names.
Text TranslateTo(TextView languageName, TextView english);

class Translator {
 public:
  Translator() = default;
  explicit Translator(TextView languageName);
  Translator(const Translator&) = delete;
  Translator& operator=(const Translator&) = delete;

  // Any text is accepted and kept as given; only the six names translate.
  // The empty text means that no language has been chosen yet.
  void SetLanguage(TextView languageName);
  Text Language() const;

  // The row's cell in the current language, or the text itself.
  Text Translate(TextView english) const;

 private:
  mutable std::mutex mutex_;
  Text language_;
  int column_ = -1;
};

}  // namespace wexmoor
