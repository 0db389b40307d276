#include "i18n/language_translator.h"

#include "i18n/language_table.h"

namespace wexmoor {

namespace {

Text TranslateInColumn(int column, TextView english) {
  if (column == 0) return Text(english);
  // Compare English keys row by row from the start: the first row whose key
  // matches wins (keys are unique and never repeat an earlier row's string).
  for (const LanguageRow& row : LanguageRows()) {
    if (row[0] == english) {
      if (column < 0) return Text(english);
      return Text(row[static_cast<std::size_t>(column)]);
    }
  }
  return Text(english);
}

}  // namespace

Text TranslateTo(TextView languageName, TextView english) {
  return TranslateInColumn(LanguageColumn(languageName), english);
}

Translator::Translator(TextView languageName) { SetLanguage(languageName); }

void Translator::SetLanguage(TextView languageName) {
  const int column = LanguageColumn(languageName);
  std::lock_guard lock(mutex_);
  language_.assign(languageName);
  column_ = column;
}

Text Translator::Language() const {
  std::lock_guard lock(mutex_);
  return language_;
}

Text Translator::Translate(TextView english) const {
  int column;
  {
    std::lock_guard lock(mutex_);
    column = column_;
  }
  return TranslateInColumn(column, english);
}

}  // namespace wexmoor
