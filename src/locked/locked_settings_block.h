// The settings block of a locked copy: what the generator writes into the
// settings area of the copy's file and what start-up reads back from its own
// image.
//
// Layout, without alignment or padding: the locked flag (one byte, 1 or 2),
// then server records back to back, then an empty name (a UTF-16 NUL). A
// record is the name (plain), address, login and password (each scrambled),
// every text as UTF-16LE code units followed by a 2-byte NUL, then port,
// active, ipRouter, useUtf8, useUtf8Opt and timeOut as 32-bit little-endian
// integers. With flag 2 each record goes on with protocol, tempName and
// connections (integers) and the trusted fingerprint (text, plain); a server
// whose connection settings are the defaults is written with flag 1.
#pragma once

#include <cstddef>
#include <random>
#include <span>
#include <string>

#include "platform/text.h"
#include "model/global_options.h"
#include "model/server_table.h"
#include "i18n/language_translator.h"

namespace wexmoor {

// The flag byte and one record, texts through ScrambleText (the name stays
// plain). The closing empty name is not included.
std::string EncodeLockedSettings(const ServerRecord& server, std::mt19937& random);

// Bytes the settings area needs for an encoded block: the block itself and
// the closing empty name.
std::size_t LockedSettingsBytesNeeded(std::size_t encodedBlockBytes);

// The message shown when a server's settings need more than the area holds.
Text SettingsTooLongMessage(std::size_t bytesNeeded, const Translator& translator);

// Writes `encodedBlock` at the start of `area` and zeros the rest of it, so the
// closing empty name follows the record. Refuses (false, `message` set,
// nothing written) when the block and its closing name do not fit the area.
bool WriteLockedSettings(std::span<unsigned char> area, std::string_view encodedBlock,
                         const Translator& translator, Text& message);

// Reads a settings area. A zero flag (or an empty area) means the program is
// not locked: false, nothing changed. Otherwise the records fill slots 1, 2, ...
// of `servers`, every text through UnscrambleText; the first empty name ends
// the list, and so does a text without a terminator or a record cut short by
// the end of the area (that record is dropped); nothing beyond the area is
// read. Each server read becomes options.currentServer, and hideServerList
// becomes 1. Returns true (locked).
bool ReadLockedSettings(std::span<const volatile unsigned char> area, ServerTable& servers,
                        GlobalOptions& options);

}  // namespace wexmoor
