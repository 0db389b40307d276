#include "locked/locked_settings_block.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "locked/locked_zones.h"
#include "settings/password_scrambling.h"

namespace wexmoor {

namespace {

void AppendText(std::string& out, TextView text) {
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  out.push_back('\0');
  out.push_back('\0');
}

void AppendInt32(std::string& out, std::int32_t value) {
  auto bits = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((bits >> shift) & 0xFF));
}

// Reads the area strictly within its bounds; every access is one volatile
// byte read, so the image's content is what counts, not what the compiler saw.
class AreaReader {
 public:
  explicit AreaReader(std::span<const volatile unsigned char> area) : area_(area) {}

  void Skip(std::size_t bytes) { position_ = std::min(area_.size(), position_ + bytes); }

  // A UTF-16LE text up to its 2-byte NUL; nullopt when the area ends first.
  std::optional<Text> ReadText() {
    Text text;
    while (position_ + 2 <= area_.size()) {
      char16_t unit = static_cast<char16_t>(area_[position_] | (area_[position_ + 1] << 8));
      position_ += 2;
      if (unit == 0) return text;
      text.push_back(unit);
    }
    return std::nullopt;
  }

  std::optional<std::int32_t> ReadInt32() {
    if (position_ + 4 > area_.size()) return std::nullopt;
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= static_cast<std::uint32_t>(area_[position_ + i]) << (8 * i);
    position_ += 4;
    return static_cast<std::int32_t>(bits);
  }

 private:
  std::span<const volatile unsigned char> area_;
  std::size_t position_ = 0;
};

// The flag byte: 1 for records of the first layout, 2 for records that also
// carry the connection settings (protocol, temporary names, connections and
// the trusted fingerprint). A record with default connection settings is
// written in the first layout, so such blocks stay as they always were.
constexpr char kFlagFirstLayout = 1;
constexpr char kFlagWithConnection = 2;

bool HasConnectionSettings(const ServerRecord& server) {
  const ServerRecord defaults;
  return server.protocol != defaults.protocol || server.tempName != defaults.tempName ||
         server.connections != defaults.connections || !server.fingerprint.empty();
}

// One record after its (already read, non-empty) name; nullopt when the area
// ends inside it.
std::optional<ServerRecord> ReadRecordAfterName(AreaReader& reader, const Text& name, bool withConnection) {
  ServerRecord record;
  record.name = UnscrambleText(name);
  Text* texts[] = {&record.address, &record.login, &record.password};
  for (Text* field : texts) {
    auto text = reader.ReadText();
    if (!text) return std::nullopt;
    *field = UnscrambleText(*text);
  }
  std::int32_t* numbers[] = {&record.port,    &record.active,     &record.ipRouter,
                             &record.useUtf8, &record.useUtf8Opt, &record.timeOut};
  for (std::int32_t* field : numbers) {
    auto value = reader.ReadInt32();
    if (!value) return std::nullopt;
    *field = *value;
  }
  if (withConnection) {
    std::int32_t* more[] = {&record.protocol, &record.tempName, &record.connections};
    for (std::int32_t* field : more) {
      auto value = reader.ReadInt32();
      if (!value) return std::nullopt;
      *field = *value;
    }
    auto fingerprint = reader.ReadText();
    if (!fingerprint) return std::nullopt;
    record.fingerprint = *fingerprint;
  }
  return record;
}

}  // namespace

std::string EncodeLockedSettings(const ServerRecord& server, std::mt19937& random) {
  std::string out;
  const bool withConnection = HasConnectionSettings(server);
  out.push_back(withConnection ? kFlagWithConnection : kFlagFirstLayout);
  AppendText(out, server.name);
  AppendText(out, ScrambleText(server.address, random));
  AppendText(out, ScrambleText(server.login, random));
  AppendText(out, ScrambleText(server.password, random));
  for (std::int32_t value : {server.port, server.active, server.ipRouter, server.useUtf8,
                             server.useUtf8Opt, server.timeOut}) {
    AppendInt32(out, value);
  }
  if (withConnection) {
    for (std::int32_t value : {server.protocol, server.tempName, server.connections}) AppendInt32(out, value);
    AppendText(out, server.fingerprint);
  }
  return out;
}

std::size_t LockedSettingsBytesNeeded(std::size_t encodedBlockBytes) { return encodedBlockBytes + 2; }

Text SettingsTooLongMessage(std::size_t bytesNeeded, const Translator& translator) {
  return translator.Translate(u"Sorry, the settings of this server are too long for a locked version: they need ") +
         IntToText(static_cast<long long>(bytesNeeded)) +
         translator.Translate(u" bytes, and the room for them is ") +
         IntToText(static_cast<long long>(kLockedSettingsAreaBytes)) + translator.Translate(u" bytes.") +
         u"\n" + translator.Translate(u"Please choose a server with a shorter name, address, login or password.");
}

bool WriteLockedSettings(std::span<unsigned char> area, std::string_view encodedBlock,
                         const Translator& translator, Text& message) {
  const std::size_t needed = LockedSettingsBytesNeeded(encodedBlock.size());
  if (needed > area.size() || needed > kLockedSettingsAreaBytes) {
    message = SettingsTooLongMessage(needed, translator);
    return false;
  }
  std::size_t i = 0;
  for (; i < encodedBlock.size(); ++i) area[i] = static_cast<unsigned char>(encodedBlock[i]);
  for (; i < area.size(); ++i) area[i] = 0;
  return true;
}

bool ReadLockedSettings(std::span<const volatile unsigned char> area, ServerTable& servers,
                        GlobalOptions& options) {
  if (area.empty() || area[0] == 0) return false;
  options.hideServerList = 1;
  const bool withConnection = area[0] == kFlagWithConnection;
  AreaReader reader(area);
  reader.Skip(1);
  for (int slot = 1; slot <= ServerTable::kMaxServers; ++slot) {
    auto name = reader.ReadText();
    if (!name || name->empty()) break;
    auto record = ReadRecordAfterName(reader, *name, withConnection);
    // An unscrambled name that comes out empty would end the list anyway.
    if (!record || record->name.empty()) break;
    options.currentServer = record->name;
    servers.Set(slot, *record);
  }
  return true;
}

}  // namespace wexmoor
