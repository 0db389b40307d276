// The reversible scrambling under which passwords (and, in locked copies,
// addresses and logins) are stored. Works on UTF-16 code units; any code unit,
// lone surrogates included, survives the round trip. A scrambled text of n
// units is 4n + 14 units long and begins with "#§"; scrambling the same text
// twice gives different results.
#pragma once

#include <random>

#include "platform/text.h"

namespace wexmoor {

inline constexpr TextView kScrambleMarker = u"#\u00A7";

Text ScrambleText(TextView plain, std::mt19937& random);
// Returns `scrambled` unchanged when it does not begin with "#§".
Text UnscrambleText(TextView scrambled);

// The two layers ScrambleText combines, and their inverses.
Text ScrambleLayerA(TextView text, std::mt19937& random);
Text ScrambleLayerB(TextView text, std::mt19937& random);
Text UnscrambleLayerA(TextView text);
Text UnscrambleLayerB(TextView text);

}  // namespace wexmoor
