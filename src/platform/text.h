// Text is UTF-16: every text the program shows, stores or counts. Lengths and
// positions count UTF-16 code units. Raw bytes are std::string.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <optional>
#include <string_view>

namespace wexmoor {

using Text = std::u16string;
using TextView = std::u16string_view;

// ASCII-only literal or number helpers used all over the program.
Text AsciiToText(std::string_view ascii);
Text IntToText(long long value);
// Decimal value as the program reads numbers: leading spaces and tabs, an
// optional sign, then digits up to the first other character; no digits give 0.
long long TextToInt(TextView text);
long long BytesToInt(std::string_view bytes);

Text TrimSpaces(TextView text);             // spaces only, both ends
Text TrimBlanks(TextView text);             // spaces and tabs, both ends
Text ToLowerAscii(TextView text);
Text ToUpperAscii(TextView text);
bool EqualsIgnoreAsciiCase(TextView a, TextView b);
bool EndsWithIgnoreAsciiCase(TextView text, TextView suffix);
Text ReplaceAll(TextView text, TextView from, TextView to);
// A message with "%1", "%2" ... (at most 9) put in from `values`.
Text FillPlaceholders(TextView pattern, const std::vector<Text>& values);
// The values of a text made from `pattern` by FillPlaceholders, in the
// order of their numbers; nullopt when the text is not of that form.
std::optional<std::vector<Text>> MatchPlaceholders(TextView pattern, TextView text);
// The 64-bit FNV-1a hash of `bytes`: short stable names derived from paths.
std::uint64_t Fnv1a64(std::string_view bytes);

}  // namespace wexmoor
