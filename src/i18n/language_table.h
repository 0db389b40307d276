// The fixed table of user-interface texts: each English text with its French,
// Ukrainian, Russian, German and traditional Chinese versions. Constant data,
// safe to read from any thread; no window code here.
#pragma once

#include <array>
#include <span>

#include "platform/text.h"

namespace wexmoor {

constexpr int kLanguageCount = 6;
constexpr int kLanguageRowCount = 175;

// Column order of the table; the names are the labels shown to the user and
// the values stored in the preference file ("Langue$"), compared exactly.
inline constexpr std::array<TextView, kLanguageCount> kLanguageNames{
    u"English", u"Français", u"Український", u"Русский", u"Deutsch", u"中文"};

// One row: the English key in column 0, then the five translations.
using LanguageRow = std::array<TextView, kLanguageCount>;

// Rows whose keys callers need by number because their wording is this
// program's own (the invitation above the site button and the fragment of the
// update question: "Wexmoor " + new + " " + fragment + "1.83. \r\n" + ...).
constexpr int kOtherProgramsRow = 48;
constexpr int kNewerVersionRow = 55;

// All rows in table order (index 0 is row 1).
std::span<const LanguageRow> LanguageRows();

// Row by its number, counted from 1; nullptr outside 1..kLanguageRowCount.
const LanguageRow* LanguageRowByNumber(int rowNumber);

// English key of a row counted from 1 (empty outside the table), e.g.
// Translate(LanguageRowKey(kOtherProgramsRow)).
TextView LanguageRowKey(int rowNumber);

// Column of a language name (0..5), or -1 when the name is none of the six.
int LanguageColumn(TextView languageName);

}  // namespace wexmoor
