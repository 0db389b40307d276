#include "settings/password_scrambling.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace wexmoor {
namespace {

TEST(PasswordScrambling, AnyTextComesBackWhole) {
  std::mt19937 random(12345);
  std::mt19937 content(99);
  for (std::size_t n = 0; n <= 200; ++n) {
    // Every code unit is fair game: controls, Latin, CJK, lone surrogates.
    Text plain;
    for (std::size_t i = 0; i < n; ++i) plain.push_back(static_cast<char16_t>(content() & 0xFFFF));
    Text scrambled = ScrambleText(plain, random);
    ASSERT_EQ(scrambled.size(), 4 * n + 14) << n;
    ASSERT_EQ(scrambled.substr(0, 2), u"#\u00A7");
    ASSERT_EQ(UnscrambleText(scrambled), plain) << n;
  }
  const Text mixed = u"p\u00E4ss \U0001F600\U00010348 w\u00F6rd \u4E2D\u6587 ~\x7F\x80";
  for (int round = 0; round < 50; ++round) EXPECT_EQ(UnscrambleText(ScrambleText(mixed, random)), mixed);
}

TEST(PasswordScrambling, SameTextScramblesDifferentlyThroughBothInnerLayers) {
  std::mt19937 random(1);
  std::set<Text> seen;
  std::set<char16_t> innerChoice;
  for (int round = 0; round < 200; ++round) {
    Text scrambled = ScrambleText(u"secret", random);
    seen.insert(scrambled);
    Text outer = UnscrambleLayerA(scrambled);
    innerChoice.insert(outer.back());
  }
  EXPECT_GT(seen.size(), 190u);
  // The last character of the outer layer's content tells which inner layer
  // was used: 'j' for layer A, 'i' for layer B. Both must occur.
  EXPECT_EQ(innerChoice, (std::set<char16_t>{u'i', u'j'}));
}

TEST(PasswordScrambling, ReadsTextsBuiltByHand) {
  // "a" through layer A with shift 3, no rotation (lead 'i'), filler 'd'.
  EXPECT_EQ(UnscrambleLayerA(u"#\u00A7idCd"), u"a");
  // The same with a lead above 110: the pairs were rotated left by one.
  EXPECT_EQ(UnscrambleLayerA(u"#\u00A7sCdd"), u"a");
  // A character at or above 128 is shifted down: 233 - 10, pad 110.
  EXPECT_EQ(UnscrambleLayerA(u"#\u00A7d\u00DFnd"), u"\u00E9");
  // "a" through layer B with shift 3, pad 70.
  EXPECT_EQ(UnscrambleLayerB(u"#\u00A7idFd"), u"a");
  // Layer B's "#§idFd" plus 'i' (inner layer B) through layer A with every
  // shift 0: characters below 128 get pad '@', the "§" gets pad 'd'.
  const Text whole = u"#\u00A7d#@\u00A7di@d@F@d@i@d";
  EXPECT_EQ(whole.size(), 4u * 1 + 14);
  EXPECT_EQ(UnscrambleText(whole), u"a");
}

TEST(PasswordScrambling, UnmarkedAndDamagedTextsAreHarmless) {
  EXPECT_EQ(UnscrambleText(u"plain password"), u"plain password");
  EXPECT_EQ(UnscrambleText(u""), u"");
  EXPECT_EQ(UnscrambleText(u"\u00A7#abc"), u"\u00A7#abc");
  for (Text damaged : {Text(u"#\u00A7"), Text(u"#\u00A7x"), Text(u"#\u00A7xyz"), Text(u"#\u00A7\xFFFF\xFFFF\xFFFF\xFFFF\xFFFF"),
                       Text(u"#\u00A7sabcdefgh")}) {
    Text result = UnscrambleText(damaged);
    EXPECT_LE(result.size(), damaged.size());
  }
}

}  // namespace
}  // namespace wexmoor
