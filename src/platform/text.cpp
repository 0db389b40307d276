#include "platform/text.h"

#include <algorithm>

namespace wexmoor {

Text AsciiToText(std::string_view ascii) {
  Text out;
  out.reserve(ascii.size());
  for (unsigned char c : ascii) out.push_back(static_cast<char16_t>(c));
  return out;
}

Text IntToText(long long value) { return AsciiToText(std::to_string(value)); }

namespace {
template <typename View>
long long ParseDecimal(View text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate as unsigned so that absurdly long digit runs wrap instead of
  // overflowing a signed value; callers narrow the result themselves.
  unsigned long long value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10u + static_cast<unsigned>(text[i] - '0');
    ++i;
  }
  long long result = static_cast<long long>(value);
  return negative ? static_cast<long long>(0ull - value) : result;
}
}  // namespace

long long TextToInt(TextView text) { return ParseDecimal(text); }
long long BytesToInt(std::string_view bytes) { return ParseDecimal(bytes); }

Text TrimSpaces(TextView text) {
  std::size_t b = 0, e = text.size();
  while (b < e && text[b] == u' ') ++b;
  while (e > b && text[e - 1] == u' ') --e;
  return Text(text.substr(b, e - b));
}

Text TrimBlanks(TextView text) {
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == u' ' || text[b] == u'\t')) ++b;
  while (e > b && (text[e - 1] == u' ' || text[e - 1] == u'\t')) --e;
  return Text(text.substr(b, e - b));
}

Text ToLowerAscii(TextView text) {
  Text out(text);
  for (auto& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return out;
}

Text ToUpperAscii(TextView text) {
  Text out(text);
  for (auto& c : out)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return out;
}

bool EqualsIgnoreAsciiCase(TextView a, TextView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
    if (x != y) return false;
  }
  return true;
}

bool EndsWithIgnoreAsciiCase(TextView text, TextView suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoreAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

Text ReplaceAll(TextView text, TextView from, TextView to) {
  if (from.empty()) return Text(text);
  Text out;
  std::size_t pos = 0;
  while (true) {
    std::size_t hit = text.find(from, pos);
    if (hit == TextView::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

std::uint64_t Fnv1a64(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

namespace {

// The literal pieces of a pattern and the number after each "%"; pieces has
// one more element than numbers.
void SplitPattern(TextView pattern, std::vector<Text>& pieces, std::vector<int>& numbers) {
  pieces.assign(1, Text());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == u'%' && i + 1 < pattern.size() && pattern[i + 1] >= u'1' && pattern[i + 1] <= u'9') {
      numbers.push_back(pattern[i + 1] - u'0');
      pieces.emplace_back();
      ++i;
      continue;
    }
    pieces.back() += pattern[i];
  }
}

}  // namespace

Text FillPlaceholders(TextView pattern, const std::vector<Text>& values) {
  std::vector<Text> pieces;
  std::vector<int> numbers;
  SplitPattern(pattern, pieces, numbers);
  Text out = pieces[0];
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    const std::size_t at = static_cast<std::size_t>(numbers[i] - 1);
    if (at < values.size()) out += values[at];
    out += pieces[i + 1];
  }
  return out;
}

std::optional<std::vector<Text>> MatchPlaceholders(TextView pattern, TextView text) {
  std::vector<Text> pieces;
  std::vector<int> numbers;
  SplitPattern(pattern, pieces, numbers);
  if (!text.starts_with(pieces[0])) return std::nullopt;
  std::vector<Text> values(9);
  std::size_t from = pieces[0].size();
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    const Text& next = pieces[i + 1];
    // The last piece closes the text; any other is the first one found.
    const std::size_t end = i + 1 == numbers.size() ? (text.ends_with(next) && text.size() - next.size() >= from
                                                           ? text.size() - next.size()
                                                           : TextView::npos)
                                                    : text.find(next, from);
    if (end == TextView::npos || (next.empty() && i + 1 < numbers.size())) return std::nullopt;
    values[static_cast<std::size_t>(numbers[i] - 1)] = Text(text.substr(from, end - from));
    from = end + next.size();
  }
  if (numbers.empty() && text.size() != pieces[0].size()) return std::nullopt;
  int most = 0;
  for (int n : numbers) most = std::max(most, n);
  values.resize(static_cast<std::size_t>(most));
  return values;
}

}  // namespace wexmoor
