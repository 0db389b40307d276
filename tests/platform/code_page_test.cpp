#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <random>

namespace wexmoor {
namespace {

TEST(CodePage, Utf8RoundTripKeepsEveryCodeUnitIncludingLoneSurrogates) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    Text t;
    for (int i = 0; i < round; ++i) t.push_back(static_cast<char16_t>(rng() & 0xFFFF));
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(t)), t);
  }
  // A proper pair becomes one four-byte sequence.
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(u"\u00e9"), "\xC3\xA9");
}

TEST(CodePage, MalformedUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xE0\x80\x80"), u"\uFFFD\uFFFD\uFFFD");  // overlong
}

TEST(CodePage, Windows1252IncludingTheFiveUndefinedBytes) {
  EXPECT_EQ(AnsiToUtf16("\x80\xE9\x81\x8D\x8F\x90\x9D"), u"\u20AC\u00E9\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(Utf16ToAnsi(u"\u20AC\u00E9\u0081"), "\x80\xE9\x81");
  EXPECT_EQ(Utf16ToAnsi(u"\u4E2D"), "?");
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all)), all);
}

TEST(CodePage, Cp437NamesBecomeWindows1252) {
  EXPECT_EQ(Cp437ToAnsi("caf\x82"), "caf\xE9");          // e acute
  EXPECT_EQ(Cp437ToAnsi("\xB0\xFF" "a"), "  a");         // box drawing, 0xFF
  EXPECT_EQ(Cp437ToAnsi("\x9C"), "\xA3");                // pound sign
}

}  // namespace
}  // namespace wexmoor
