#include "settings/password_scrambling.h"

namespace wexmoor {

namespace {

// A uniform integer from 0 to n inclusive.
int Random(std::mt19937& random, int n) { return std::uniform_int_distribution<int>(0, n)(random); }

char16_t Unit(int value) { return static_cast<char16_t>(value & 0xFFFF); }

bool HasMarker(TextView text) { return text.substr(0, kScrambleMarker.size()) == kScrambleMarker; }

// Every character becomes a shifted character and a pad that tells the shift
// and its direction. `padUp` marks a downward shift, `padDown` an upward one.
Text ScramblePairs(TextView text, std::mt19937& random, int padUp, int padDown) {
  Text out;
  out.reserve(text.size() * 2 + 4);
  for (char16_t c : text) {
    int k = Random(random, 20);
    if (c + k >= 128) {
      out.push_back(Unit(c - k));
      out.push_back(Unit(k + padUp));
    } else {
      out.push_back(Unit(c + k));
      out.push_back(Unit(k + padDown));
    }
  }
  return out;
}

Text RestorePairs(TextView body, int padUp, int padDown) {
  Text out;
  out.reserve(body.size() / 2);
  for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
    int a = body[i], b = body[i + 1];
    out.push_back(b > 99 ? Unit(a + b - padUp) : Unit(a - b + padDown));
  }
  return out;
}

// The text between the marker plus leading character and the final filler.
Text Body(TextView text) {
  if (text.size() < 4) return {};
  return Text(text.substr(3, text.size() - 4));
}

}  // namespace

Text ScrambleLayerA(TextView text, std::mt19937& random) {
  Text r = ScramblePairs(text, random, 100, 64);
  int k = Random(random, 25);
  if (k >= 11 && !r.empty()) {
    char16_t first = r.front();
    r.erase(0, 1);
    r.push_back(first);
  }
  Text out(kScrambleMarker);
  out.push_back(Unit(k + 100));
  out += r;
  out.push_back(Unit(Random(random, 20) + 100));
  return out;
}

Text ScrambleLayerB(TextView text, std::mt19937& random) {
  Text r = ScramblePairs(text, random, 101, 67);
  Text out(kScrambleMarker);
  out.push_back(Unit(Random(random, 25) + 105));
  out += r;
  out.push_back(Unit(Random(random, 20) + 100));
  return out;
}

Text UnscrambleLayerA(TextView text) {
  if (!HasMarker(text)) return Text(text);
  Text body = Body(text);
  if (text.size() > 2 && text[2] > 110 && !body.empty()) {
    char16_t last = body.back();
    body.pop_back();
    body.insert(body.begin(), last);
  }
  return RestorePairs(body, 100, 64);
}

Text UnscrambleLayerB(TextView text) {
  if (!HasMarker(text)) return Text(text);
  return RestorePairs(Body(text), 101, 67);
}

Text ScrambleText(TextView plain, std::mt19937& random) {
  int m = Random(random, 1);
  Text inner = m == 1 ? ScrambleLayerA(plain, random) : ScrambleLayerB(plain, random);
  inner.push_back(Unit(105 + m));
  return ScrambleLayerA(inner, random);
}

Text UnscrambleText(TextView scrambled) {
  if (!HasMarker(scrambled)) return Text(scrambled);
  Text u = UnscrambleLayerA(scrambled);
  if (u.empty()) return u;
  int m = u.back() - 105;
  u.pop_back();
  return m != 0 ? UnscrambleLayerA(u) : UnscrambleLayerB(u);
}

}  // namespace wexmoor
