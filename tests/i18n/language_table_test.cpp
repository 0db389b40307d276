// The language table and Translate. No window is created here.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "i18n/language_table.h"
#include "i18n/language_translator.h"

namespace wexmoor {
namespace {

constexpr TextView kEnglish = u"English";
constexpr TextView kFrench = u"Français";
constexpr TextView kGerman = u"Deutsch";

struct FixedRow {
  int number;
  LanguageRow cells;
};

// Cells whose wording is settled and must not drift.
constexpr std::array<FixedRow, 13> kFixedRows{{
    {2, {u"Delete", u"Supprimer", u"Видалити", u"Удалить", u"Löschen", u"刪除"}},
    {9, {u"Connect", u"Connection", u"З'єднання", u"Соединение", u"Verbinden", u"連線"}},
    {14, {u"Cancel", u"Annuler", u"Відміна", u"Отмена", u"Abbruch", u"取消"}},
    {40, {u"CAUTION!", u"ATTENTION !", u"УВАГА !", u"ВНИМАНИЕ !", u"ACHTUNG!", u"警告!"}},
    {44, {u"Parent folder", u"Dossier parent", u"На рівень вгору", u"На уровень вверх",
          u"Übergeordnetes Verzeichnis", u"上層目錄"}},
    {45, {u"Content", u"Contenu", u"Вміст", u"Содержимое", u"Inhalt", u"內容"}},
    {49, {u"Passive", u"Passive", u"Passive", u"Passive", u"Passive", u"被動模式"}},
    {66, {u"sec.", u"sec.", u"sec.", u"sec.", u"sec.", u"秒."}},
    {71, {u"OK", u"OK", u"OK", u"OK", u"OK", u"確定"}},
    {72, {u"Language", u"Langue", u"Language", u"Language", u"Language", u"Language"}},
    {73, {u"Yes", u"Oui", u"Yes", u"Yes", u"Yes", u"確定"}},
    {74, {u"No", u"Non", u"No", u"No", u"No", u"取消"}},
    {94, {u"Welcome to this new version!", u"Bienvenue dans cette nouvelle version !",
          u"Welcome to this new version!", u"Welcome to this new version!",
          u"Welcome to this new version!", u"Welcome to this new version!"}},
}};

bool IsFixedRow(int number) {
  for (const FixedRow& fixed : kFixedRows) {
    if (fixed.number == number) return true;
  }
  return false;
}

bool IsEmptyRow(int number) { return number == 24 || number == 25; }

const LanguageRow& Row(int number) {
  const LanguageRow* row = LanguageRowByNumber(number);
  EXPECT_NE(row, nullptr) << number;
  return *row;
}

TEST(TranslatorTest, EnglishAndUnknownTextsComeBackUnchanged) {
  Translator translator;
  EXPECT_EQ(translator.Language(), u"");
  EXPECT_EQ(translator.Translate(u"Delete"), u"Delete");  // no language chosen yet

  translator.SetLanguage(kEnglish);
  for (TextView text : {TextView(u"Delete"), TextView(u"Choose a picture"), TextView(u"")}) {
    EXPECT_EQ(translator.Translate(text), text);
  }
  for (TextView language : kLanguageNames) {
    translator.SetLanguage(language);
    EXPECT_EQ(translator.Translate(u"Choose a picture"), u"Choose a picture") << Text(language).size();
    EXPECT_EQ(translator.Translate(u"About"), u"About");    // only "About " is a key
    EXPECT_EQ(translator.Translate(u"delete"), u"delete");  // keys match exactly
    EXPECT_EQ(translator.Translate(u""), u"");              // the two empty rows stay empty
  }
  translator.SetLanguage(kGerman);
  EXPECT_EQ(translator.Translate(u"About "), u"Über ");
  EXPECT_EQ(translator.Translate(u"Passive"), u"Passive");
  EXPECT_EQ(translator.Translate(u"Delete"), u"Löschen");
}

TEST(TranslatorTest, ANameOutsideTheSixShowsEnglish) {
  for (TextView name : {TextView(u"Italiano"), TextView(u"deutsch"), TextView(u"Deutsch "),
                        TextView(u"Fran\u00e7ais\u0000", 9)}) {
    Translator translator(name);
    EXPECT_EQ(translator.Language(), name);
    EXPECT_EQ(translator.Translate(u"Delete"), u"Delete");
    EXPECT_EQ(TranslateTo(name, u"Cancel"), u"Cancel");
  }
  Translator translator(u"Italiano");
  translator.SetLanguage(kFrench);
  EXPECT_EQ(translator.Translate(u"Delete"), u"Supprimer");
}

TEST(TranslatorTest, LanguageSwitchWhileWorkersTranslate) {
  Translator translator(kGerman);
  std::atomic<bool> done{false};
  std::atomic<int> strange{0};
  std::vector<std::jthread> workers;
  for (int i = 0; i < 2; ++i) {
    workers.emplace_back([&] {
      while (!done.load()) {
        const Text result = translator.Translate(u"Delete");
        if (result != u"Löschen" && result != u"Supprimer" && result != u"Delete") ++strange;
        (void)translator.Language();
      }
    });
  }
  const std::array<TextView, 3> names{kGerman, kFrench, u"Italiano"};
  for (int i = 0; i < 3000; ++i) translator.SetLanguage(names[static_cast<std::size_t>(i % 3)]);
  done = true;
  workers.clear();
  EXPECT_EQ(strange.load(), 0);
}

TEST(LanguageTableTest, SettledCellsAndLanguageNames) {
  const std::array<TextView, kLanguageCount> names{u"English", u"Français", u"Український",
                                                   u"Русский", u"Deutsch", u"中文"};
  for (int column = 0; column < kLanguageCount; ++column) {
    EXPECT_EQ(kLanguageNames[static_cast<std::size_t>(column)], names[static_cast<std::size_t>(column)]);
    EXPECT_EQ(LanguageColumn(names[static_cast<std::size_t>(column)]), column);
  }
  EXPECT_EQ(LanguageColumn(u""), -1);

  for (const FixedRow& fixed : kFixedRows) {
    const LanguageRow& row = Row(fixed.number);
    for (std::size_t column = 0; column < row.size(); ++column) {
      EXPECT_EQ(row[column], fixed.cells[column]) << "row " << fixed.number << " column " << column;
      EXPECT_EQ(TranslateTo(kLanguageNames[column], fixed.cells[0]), fixed.cells[column])
          << "row " << fixed.number << " column " << column;
    }
  }
}

TEST(LanguageTableTest, EveryRowHasSixCells) {
  ASSERT_EQ(LanguageRows().size(), static_cast<std::size_t>(kLanguageRowCount));
  EXPECT_EQ(LanguageRowByNumber(0), nullptr);
  EXPECT_EQ(LanguageRowByNumber(kLanguageRowCount + 1), nullptr);
  EXPECT_EQ(LanguageRowKey(kLanguageRowCount + 1), u"");
  // Spot checks of the order, including keys with odd spelling or spaces.
  EXPECT_EQ(LanguageRowKey(1), u"Remove from the list");
  EXPECT_EQ(LanguageRowKey(23), u"About ");
  EXPECT_EQ(LanguageRowKey(41), u"Are you sure that you want to delete the sever named ");
  EXPECT_EQ(LanguageRowKey(76), u"Send ''opts utf8 on'' to the server");
  EXPECT_EQ(LanguageRowKey(89), u" px  /  height->");
  EXPECT_EQ(LanguageRowKey(99), u"Please choose your server setting:");
  EXPECT_EQ(LanguageRowKey(102), u"Retry now");
  EXPECT_EQ(LanguageRowKey(120), u"Watch folders...");
  EXPECT_EQ(LanguageRowKey(126), u"Notifications");

  for (int number = 1; number <= kLanguageRowCount; ++number) {
    const LanguageRow& row = Row(number);
    EXPECT_EQ(&row, &LanguageRows()[static_cast<std::size_t>(number - 1)]);
    for (std::size_t column = 0; column < row.size(); ++column) {
      EXPECT_EQ(row[column].empty(), IsEmptyRow(number)) << "row " << number << " column " << column;
    }
  }
}

TEST(LanguageTableTest, EachKeyIsMetFirstInItsOwnEnglishCell) {
  const auto rows = LanguageRows();
  for (std::size_t keyRow = 0; keyRow < rows.size(); ++keyRow) {
    const TextView key = rows[keyRow][0];
    if (key.empty()) continue;  // the two empty rows translate to nothing either way
    for (std::size_t row = 0; row <= keyRow; ++row) {
      for (std::size_t column = 0; column < rows[row].size(); ++column) {
        if (row == keyRow && column == 0) break;
        EXPECT_NE(rows[row][column], key) << "key of row " << keyRow + 1 << " met in row " << row + 1;
      }
    }
  }
}

TEST(LanguageTableTest, CellsAreCleanTextWithTheKeysOuterSpaces) {
  for (int number = 1; number <= kLanguageRowCount; ++number) {
    const LanguageRow& row = Row(number);
    const TextView key = row[0];
    if (key.empty()) continue;
    for (std::size_t column = 1; column < row.size(); ++column) {
      const TextView cell = row[column];
      EXPECT_EQ(cell.front() == u' ', key.front() == u' ') << "row " << number << " column " << column;
      EXPECT_EQ(cell.back() == u' ', key.back() == u' ') << "row " << number << " column " << column;
      EXPECT_EQ(cell.find(u'"'), TextView::npos) << "row " << number << " column " << column;
      if (key.find(u"''") != TextView::npos) {
        EXPECT_NE(cell.find(u"''"), TextView::npos) << "row " << number << " column " << column;
      }
    }
    for (std::size_t column = 0; column < row.size(); ++column) {
      const TextView cell = row[column];
      for (std::size_t i = 0; i < cell.size(); ++i) {
        const char16_t unit = cell[i];
        EXPECT_GE(unit, u' ') << "control character in row " << number << " column " << column;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          ASSERT_LT(i + 1, cell.size()) << "row " << number << " column " << column;
          EXPECT_TRUE(cell[i + 1] >= 0xDC00 && cell[i + 1] <= 0xDFFF) << "row " << number;
          ++i;
        } else {
          EXPECT_FALSE(unit >= 0xDC00 && unit <= 0xDFFF) << "row " << number << " column " << column;
        }
      }
    }
  }
}

TEST(LanguageTableTest, RowsThatCallersReachByNumber) {
  // Shown above the site button, followed by " >> >> ...".
  for (TextView cell : Row(kOtherProgramsRow)) {
    EXPECT_TRUE(cell.ends_with(u"!!"));
    EXPECT_NE(cell.find(u"Wexmoor"), TextView::npos);
  }
  // "Wexmoor " + new version + " " + fragment + "1.83. \r\n" + question.
  const TextView newer = LanguageRowKey(kNewerVersionRow);
  EXPECT_EQ(newer, u" is available on the Wexmoor web site. Your version is: ");  // the update check's key
  for (TextView cell : Row(kNewerVersionRow)) EXPECT_TRUE(cell.starts_with(u" ") && cell.ends_with(u" "));
  EXPECT_EQ(TranslateTo(kGerman, newer), u" ist auf der Wexmoor-Website verfügbar. Ihre Version ist: ");
}

// Estimated width of a label in average 9-point characters: ideographs and
// full-width forms take two.
int LabelWidth(TextView text) {
  int width = 0;
  for (char16_t unit : text) {
    const bool wide = (unit >= 0x2E80 && unit < 0xD800) || (unit >= 0xFF00 && unit <= 0xFFEF);
    width += wide ? 2 : 1;
  }
  return width;
}

TEST(LanguageTableTest, TranslatedLabelsFitTheirControls) {
  // Row, control width in pixels, pixels the control keeps for itself (button
  // border and padding 10, check or option mark 15). About 6 pixels a
  // character at 9 points; the two-line time-out label counts twice its width.
  struct Control {
    int row, width, chrome;
  };
  constexpr Control kControls[] = {
      {1, 190, 10}, {2, 57, 10},  {3, 57, 10},   {4, 58, 10},  {5, 190, 0},   {6, 130, 0},
      {38, 190, 15}, {54, 190, 10}, {70, 150, 10}, {9, 65, 10},  {46, 145, 10}, {44, 150, 0},
      {49, 60, 15},  {50, 60, 15},  {51, 145, 15}, {52, 190, 0}, {53, 256, 0},  {66, 28, 0},
      {61, 220, 15}, {77, 360, 10}, {27, 140, 10}, {93, 140, 10}, {69, 55, 0},  {33, 110, 0},
      {83, 155, 10}, {75, 198, 15}, {76, 190, 15}, {14, 51, 10}, {71, 51, 10},
      // Protocol label and drop-down (its arrow), trust window labels and button.
      {104, 64, 0}, {105, 178, 25}, {106, 178, 25}, {107, 178, 25}, {108, 178, 25},
      {113, 130, 0}, {114, 130, 0}, {115, 130, 0}, {116, 130, 0}, {117, 130, 0}, {118, 80, 10},
  };
  for (const Control& control : kControls) {
    const int budget = (control.width - control.chrome + 3) / 6;
    const LanguageRow& row = Row(control.row);
    for (int column = 1; column < kLanguageCount; ++column) {
      if (IsFixedRow(control.row)) continue;  // settled wording, checked on screen
      EXPECT_LE(LabelWidth(row[static_cast<std::size_t>(column)]), budget)
          << "row " << control.row << " column " << column;
    }
  }
}

}  // namespace
}  // namespace wexmoor
