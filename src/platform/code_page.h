// The one module that converts between UTF-16 texts and byte encodings:
// UTF-8 (files, wxWidgets, FTP when asked), Windows-1252 (the 8-bit "ANSI"
// code page: FTP otherwise, zip names, web bodies) and code page 437 names.
#pragma once

#include <string>
#include <string_view>

#include "platform/text.h"

namespace wexmoor {

// UTF-8 in both directions. Lone surrogate code units are written as their
// three-byte form (ED A0 80 ... ED BF BF) and read back the same way, so any
// UTF-16 text survives the round trip, scrambled passwords included.
std::string Utf16ToUtf8(TextView text);
// Malformed bytes become U+FFFD, one per byte.
Text Utf8ToUtf16(std::string_view bytes);

// ISO 8859-1: each byte is one character.
Text Latin1ToUtf16(std::string_view bytes);

// Windows-1252. The five bytes glibc leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) map to U+0081 ... as Windows does; characters without a byte become '?'.
std::string Utf16ToAnsi(TextView text);
// True when every character of `text` has a Windows-1252 byte.
bool FitsAnsi(TextView text);
Text AnsiToUtf16(std::string_view bytes);

// An archive name in code page 437 turned into Windows-1252 bytes: every byte
// from 0x80 up is replaced by the Windows-1252 byte of the same character, or a
// space where Windows-1252 has none (and for 0xFF).
std::string Cp437ToAnsi(std::string_view bytes);

}  // namespace wexmoor
