// The windows' logic that needs no display: the about text and result, the
// Log window's following rule, and the worker's mailbox.
#include <gtest/gtest.h>

#include <thread>

#include "i18n/language_table.h"
#include "platform/code_page.h"
#include "program/about_text.h"
#include "program/log_follow.h"
#include "program/settings_reload.h"
#include "settings/settings_store.h"
#include "program/worker_mailbox.h"

namespace wexmoor {
namespace {

TEST(AboutTextTest, HelpParagraphsJoinWithASpaceOnlyInGermanAndLockedCopiesSayWhatTheyAre) {
  Translator german(u"Deutsch");
  const Text first = german.Translate(
      u"Choose your server destination before droping your file. You can send files to different FTPs if "
      u"you change the server between each drop.");
  const Text second = german.Translate(
      u"To know the destination of a file, click on its name: the corresponding server will be selected in "
      u"the top list.");
  ASSERT_NE(first.find(u"FTP"), Text::npos);
  EXPECT_NE(BuildAboutText(german, false).find(first + u" " + second), Text::npos);

  for (const char16_t* language : {u"English", u"Français", u"中文"}) {
    Translator t(language);
    const Text text = BuildAboutText(t, false);
    const Text joined = t.Translate(u"Choose your server destination before droping your file. You can send "
                                    u"files to different FTPs if you change the server between each drop.") +
                        u"\r" +
                        t.Translate(u"To know the destination of a file, click on its name: the corresponding "
                                    u"server will be selected in the top list.");
    EXPECT_NE(text.find(joined), Text::npos) << Utf16ToUtf8(language);
    EXPECT_TRUE(text.ends_with(kAboutArrows));
  }

  Translator english(u"English");
  const Text locked = BuildAboutText(english, true);
  EXPECT_NE(locked.find(u"\r\r\rYou are using a customized and locked version of this program.\r\r"), Text::npos);
  EXPECT_EQ(locked.find(u"Please send me your comments:"), Text::npos);

  // Without a web site nothing points at the buttons that are not there.
  for (bool lockedCopy : {false, true}) {
    const Text plain = BuildAboutText(english, lockedCopy, false);
    EXPECT_FALSE(plain.ends_with(kAboutArrows)) << lockedCopy;
    EXPECT_EQ(plain.find(english.Translate(LanguageRowKey(kOtherProgramsRow))), Text::npos) << lockedCopy;
    EXPECT_EQ(plain.find(u"Please send me your comments:"), Text::npos);
    EXPECT_EQ(plain.find(u"Go to the author's site"), Text::npos);
  }
  EXPECT_NE(BuildAboutText(english, false, false).find(u"To know the destination of a file"), Text::npos);
}

TEST(AboutTextTest, ResultBitsAndAddresses) {
  EXPECT_EQ(AboutResult(false, AboutEnd::kConfirmed, true, 0), 2);
  EXPECT_EQ(AboutResult(false, AboutEnd::kConfirmed, false, 1), 0);
  // The close box cancels: the stored updates setting stays as it was.
  EXPECT_EQ(AboutResult(false, AboutEnd::kClosed, false, 1), 2);
  EXPECT_EQ(AboutResult(false, AboutEnd::kClosed, true, 0), 0);
  for (AboutEnd end : {AboutEnd::kConfirmed, AboutEnd::kClosed})
    EXPECT_EQ(AboutResult(true, end, false, 0), 3);

  const AboutAddresses a = MakeAboutAddresses(u"http://127.0.0.1:8080/");
  EXPECT_EQ(a.site, u"http://127.0.0.1:8080/");
  EXPECT_EQ(a.frenchSite, u"http://127.0.0.1:8080/fr/");
  EXPECT_EQ(a.makerMail, u"comments@127.0.0.1");
  EXPECT_EQ(MailAddress(a.makerMail, u"Wexmoor 1.83"), u"mailto:comments@127.0.0.1?subject=Wexmoor%201.83");
  EXPECT_TRUE(MakeAboutAddresses(u"").site.empty());
}

// The settings' reports reach the window's box in the user's language, the
// file names in them as they are; a line of no known form stays English.
TEST(SettingsProblemText, EachKnownLineIsSaidInTheLanguageWithItsNames) {
  const Text file = u"/home/b\u00FCro/Wexmoor.prefs", aside = u"/home/b\u00FCro/Wexmoor.prefs.unreadable-20261209-061342";
  struct Case {
    TextView form;
    std::vector<Text> values;
    const char16_t* german;  // a piece of the German line
  };
  const Case cases[] = {
      {kSetAsideProblem, {file, aside}, u"aufbewahrt"},
      {kNotRenamedProblem, {file}, u"umbenannt"},
      {kCannotReadProblem, {file}, u"nicht gelesen"},
      {kMissingProblem, {file}, u"fehlt"},
      {kNoWatchServerProblem, {u"WatchFolder2", u"B\u00FCro; FTP"}, u"kein Server namens"},
      {kReadOnlyProblem, {file}, u"schreibgesch\u00FCtzt"},
  };
  const Translator german(u"Deutsch");
  const Translator english(u"English");
  for (const Case& c : cases) {
    const std::string line = SettingsProblem(c.form, c.values);
    SCOPED_TRACE(line);
    const Text said = TranslatedSettingsProblem(line, german);
    EXPECT_NE(said.find(c.german), Text::npos) << Utf16ToUtf8(said);
    for (const Text& value : c.values) EXPECT_NE(said.find(value), Text::npos) << Utf16ToUtf8(value);
    EXPECT_EQ(TranslatedSettingsProblem(line, english), Utf8ToUtf16(line));
  }
  EXPECT_EQ(TranslatedSettingsProblem("WatchFolder0: 'after' must be 0 or 1; not watched", german),
            u"WatchFolder0: 'after' must be 0 or 1; not watched");
}

TEST(LogWindowTest, FollowingCutsThePreviousCopyOfTheLogAndAppendsTheNewOne) {
  const Text history = u"old session\r\n";
  Text shown = FollowLog(history, 0, u"USER a\r\n");
  EXPECT_EQ(shown, u"old session\r\nUSER a\r\n");
  shown = FollowLog(shown, 8, u"USER a\r\nPASS ****\r\n");
  EXPECT_EQ(shown, u"old session\r\nUSER a\r\nPASS ****\r\n");
  // A copy longer than the text shown cuts no more than there is.
  EXPECT_EQ(FollowLog(u"abc", 10, u"new"), u"new");
}

TEST(WorkerMailboxTest, TheWindowTakesTheLatestValuesOnceAndWritersNeverWait) {
  WorkerMailbox box;
  std::thread writer([&] {
    for (int i = 0; i <= 100; ++i) {
      box.SetCurrentFile(u"file.bin");
      box.Status().SetStatusText(IntToText(i));
      box.Progress().SetProgress(i * 2);
    }
  });
  writer.join();
  WorkerMailbox::Changes c = box.Take();
  ASSERT_TRUE(c.status && c.progress && c.currentFile);
  EXPECT_EQ(*c.status, u"100");
  EXPECT_EQ(*c.progress, 100) << "clamped to the bar's range";
  EXPECT_TRUE(box.Take().Empty());
}

}  // namespace
}  // namespace wexmoor
