#include "platform/code_page.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <mutex>

namespace wexmoor {

std::string Utf16ToUtf8(TextView text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

Text Utf8ToUtf16(std::string_view bytes) {
  Text out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  auto cont = [&](std::size_t k) {
    return k < n && (static_cast<unsigned char>(bytes[k]) & 0xC0) == 0x80;
  };
  while (i < n) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    char32_t cp = 0;
    std::size_t len = 0;
    if (b < 0x80) {
      cp = b;
      len = 1;
    } else if (b >= 0xC2 && b < 0xE0 && cont(i + 1)) {
      cp = ((b & 0x1Fu) << 6) | (bytes[i + 1] & 0x3F);
      len = 2;
    } else if (b >= 0xE0 && b < 0xF0 && cont(i + 1) && cont(i + 2)) {
      cp = ((b & 0x0Fu) << 12) | ((bytes[i + 1] & 0x3Fu) << 6) | (bytes[i + 2] & 0x3F);
      len = cp >= 0x800 ? 3 : 0;
    } else if (b >= 0xF0 && b < 0xF5 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
      cp = ((b & 0x07u) << 18) | ((bytes[i + 1] & 0x3Fu) << 12) | ((bytes[i + 2] & 0x3Fu) << 6) |
           (bytes[i + 3] & 0x3F);
      len = (cp >= 0x10000 && cp <= 0x10FFFF) ? 4 : 0;
    }
    if (len == 0) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

Text Latin1ToUtf16(std::string_view bytes) {
  Text out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) out.push_back(static_cast<char16_t>(c));
  return out;
}

namespace {

// Byte 0x80..0xFF of Windows-1252 as UTF-16, built once through iconv.
struct Cp1252Table {
  std::array<char16_t, 128> upper{};
};

const Cp1252Table& Table() {
  static const Cp1252Table table = [] {
    Cp1252Table t;
    iconv_t cd = iconv_open("UTF-16LE", "WINDOWS-1252");
    for (int b = 0x80; b <= 0xFF; ++b) {
      char16_t value = static_cast<char16_t>(b);  // undefined bytes map to U+0081...
      if (cd != reinterpret_cast<iconv_t>(-1)) {
        char in = static_cast<char>(b);
        char outbuf[4] = {};
        char* ip = &in;
        char* op = outbuf;
        std::size_t il = 1, ol = sizeof outbuf;
        if (iconv(cd, &ip, &il, &op, &ol) != static_cast<std::size_t>(-1) && ol == 2) {
          value = static_cast<char16_t>(static_cast<unsigned char>(outbuf[0]) |
                                        (static_cast<unsigned char>(outbuf[1]) << 8));
        }
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
      }
      t.upper[b - 0x80] = value;
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    return t;
  }();
  return table;
}

// Code page 437, bytes 0x80..0xFF, as Unicode (a fixed, well-known table).
constexpr char16_t kCp437Upper[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
    0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
    0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1,
    0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD,
    0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
    0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534,
    0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
    0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393,
    0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6,
    0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0,
    0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

int AnsiByteOf(char16_t c) {
  if (c < 0x80) return c;
  const auto& t = Table();
  for (int i = 0; i < 128; ++i)
    if (t.upper[i] == c) return 0x80 + i;
  return -1;
}

}  // namespace

std::string Utf16ToAnsi(TextView text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    int b = AnsiByteOf(c);
    out.push_back(b < 0 ? '?' : static_cast<char>(b));
  }
  return out;
}

bool FitsAnsi(TextView text) {
  for (char16_t c : text) {
    if (AnsiByteOf(c) < 0) return false;
  }
  return true;
}

Text AnsiToUtf16(std::string_view bytes) {
  const auto& t = Table();
  Text out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) out.push_back(c < 0x80 ? c : t.upper[c - 0x80]);
  return out;
}

std::string Cp437ToAnsi(std::string_view bytes) {
  std::string out(bytes);
  for (auto& ch : out) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) continue;
    int b = c == 0xFF ? -1 : AnsiByteOf(kCp437Upper[c - 0x80]);
    ch = b < 0x80 ? ' ' : static_cast<char>(b);
  }
  return out;
}

}  // namespace wexmoor
