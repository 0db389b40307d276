#include "settings/preference_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

#include "platform/code_page.h"
#include "platform/files.h"

namespace wexmoor {

namespace {

constexpr std::string_view kMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

// Keys and group names match whatever the case of their ASCII letters; every
// other byte must be equal.
std::string Fold(std::string_view utf8) {
  std::string out(utf8);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  return out;
}

std::string_view TrimBlankBytes(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string WithoutLineBreaks(std::string s) {
  for (char& c : s)
    if (IsLineBreak(c)) c = ' ';
  return s;
}

// Valid UTF-8 (surrogate code points allowed: the program writes lone ones
// that way) with at least one multi-byte sequence.
bool IsMultiByteUtf8(std::string_view s) {
  bool multi = false;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t follow = 0;
    if (c < 0x80) {
      ++i;
      continue;
    }
    if (c >= 0xC2 && c <= 0xDF)
      follow = 1;
    else if (c >= 0xE0 && c <= 0xEF)
      follow = 2;
    else if (c >= 0xF0 && c <= 0xF4)
      follow = 3;
    else
      return false;
    if (i + follow >= s.size()) return false;
    for (std::size_t k = 1; k <= follow; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    const auto second = static_cast<unsigned char>(s[i + 1]);
    if ((c == 0xE0 && second < 0xA0) || (c == 0xF0 && second < 0x90) || (c == 0xF4 && second > 0x8F)) return false;
    multi = true;
    i += follow + 1;
  }
  return multi;
}

Text Utf16Bytes(std::string_view s, bool bigEndian) {
  Text out;
  out.reserve(s.size() / 2);
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
    const auto a = static_cast<unsigned char>(s[i]);
    const auto b = static_cast<unsigned char>(s[i + 1]);
    out.push_back(static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a));
  }
  return out;
}

// Something a person or the program wrote as preferences: no NUL byte, and
// at least one group, comment or "key = value" line when there is text.
bool LooksLikePreferences(std::string_view utf8) {
  if (utf8.find('\0') != std::string_view::npos) return false;
  bool anyText = false;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    std::size_t end = pos;
    while (end < utf8.size() && !IsLineBreak(utf8[end])) ++end;
    std::string_view line = TrimBlankBytes(utf8.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    anyText = true;
    if (line.front() == '[' || line.front() == ';') return true;
    const auto equals = line.find('=');
    if (equals != std::string_view::npos && equals > 0) return true;
  }
  return !anyText;
}

std::string FolderOfName(const std::string& native) {
  auto slash = native.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return native.substr(0, slash);
}

}  // namespace

void PreferenceFile::Reset() {
  fileName_.clear();
  haveName_ = false;
  unreadable_ = false;
  modified_ = false;
  encoding_ = Encoding::kUtf8WithMark;
  outcome_ = ReadOutcome::kMissing;
  identity_.reset();
  group_.clear();
  lines_.clear();
  keyIndex_.clear();
  nextSameKey_.clear();
  groupLines_.clear();
  indexStale_ = false;
}

bool PreferenceFile::OpenPreferenceFile(const Text& fileName) {
  Reset();
  fileName_ = fileName;
  haveName_ = true;
  if (!PathExists(fileName)) return false;
  const std::optional<FileIdentity> before = StatIdentity(fileName);
  std::optional<std::string> bytes = ReadWholeFile(fileName);
  if (!bytes) {
    unreadable_ = true;
    outcome_ = ReadOutcome::kCannotRead;
    return false;
  }
  std::string_view content = *bytes;
  std::string utf8;
  if (content.substr(0, kMark.size()) == kMark) {
    content.remove_prefix(kMark.size());
    utf8 = std::string(content);
  } else if (content.size() >= 2 && ((content[0] == '\xFF' && content[1] == '\xFE') ||
                                     (content[0] == '\xFE' && content[1] == '\xFF'))) {
    encoding_ = Encoding::kUtf16;
    utf8 = Utf16ToUtf8(Utf16Bytes(content.substr(2), content[0] == '\xFE'));
  } else if (IsMultiByteUtf8(content)) {
    encoding_ = Encoding::kUtf8;
    utf8 = std::string(content);
  } else {
    encoding_ = Encoding::kLatin1;
    utf8 = Utf16ToUtf8(Latin1ToUtf16(content));
  }
  if (!LooksLikePreferences(utf8)) {
    unreadable_ = true;
    outcome_ = ReadOutcome::kNotPreferences;
    return false;
  }
  Parse(utf8);
  outcome_ = ReadOutcome::kRead;
  if (before) identity_ = StatIdentity(fileName, ContentHash(*bytes));
  return true;
}

bool PreferenceFile::CreatePreferenceFile(const Text& fileName) {
  Reset();
  const std::string native = PathToNative(fileName);
  if (native.empty() || IsFolder(fileName)) return false;
  if (::access(FolderOfName(native).c_str(), W_OK | X_OK) != 0) return false;
  fileName_ = fileName;
  haveName_ = true;
  // A new file is written even when nothing is added to it.
  modified_ = true;
  return true;
}

void PreferenceFile::Parse(std::string_view content) {
  lines_.reserve(static_cast<std::size_t>(std::count(content.begin(), content.end(), '\n')) + 1);
  std::size_t pos = 0;
  while (pos < content.size()) {
    while (pos < content.size() && IsLineBreak(content[pos])) ++pos;
    std::size_t end = pos;
    while (end < content.size() && !IsLineBreak(content[end])) ++end;
    std::string_view line = content.substr(pos, end - pos);
    pos = end;
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    if (line.empty()) continue;

    Line entry;
    if (line.front() == '[') {
      entry.kind = LineKind::kGroup;
      line.remove_prefix(1);
      entry.key = std::string(line.substr(0, line.find(']')));
    } else if (line.front() == ';') {
      entry.kind = LineKind::kComment;
      line.remove_prefix(1);
      if (!line.empty() && line.front() == ' ') line.remove_prefix(1);
      entry.key = std::string(line);
    } else {
      entry.kind = LineKind::kKey;
      auto equals = line.find('=');
      std::string_view key = line.substr(0, equals);
      while (!key.empty() && IsBlank(key.back())) key.remove_suffix(1);
      entry.key = std::string(key);
      if (equals != std::string_view::npos) {
        std::string_view value = line.substr(equals + 1);
        while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
        entry.value = std::string(value);
      }
    }
    lines_.push_back(std::move(entry));
  }
  indexStale_ = true;
}

void PreferenceFile::IndexKeyLine(std::string folded, std::size_t line) const {
  if (nextSameKey_.size() <= line) nextSameKey_.resize(line + 1, kNone);
  KeyChain& chain = keyIndex_[std::move(folded)];
  if (chain.first == kNone)
    chain.first = line;
  else
    nextSameKey_[chain.last] = line;
  chain.last = line;
}

void PreferenceFile::RebuildIndex() const {
  keyIndex_.clear();
  keyIndex_.reserve(lines_.size());
  nextSameKey_.assign(lines_.size(), kNone);
  groupLines_.clear();
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == LineKind::kKey)
      IndexKeyLine(Fold(line.key), i);
    else if (line.kind == LineKind::kGroup)
      groupLines_.push_back(i);
  }
  indexStale_ = false;
}

void PreferenceFile::GroupRange(std::size_t& begin, std::size_t& end) const {
  if (indexStale_) RebuildIndex();
  if (group_.empty()) {
    begin = 0;
    end = groupLines_.empty() ? lines_.size() : groupLines_.front();
    return;
  }
  const std::string wanted = Fold(group_);
  for (std::size_t g = 0; g < groupLines_.size(); ++g) {
    if (Fold(lines_[groupLines_[g]].key) != wanted) continue;
    begin = groupLines_[g] + 1;
    end = g + 1 < groupLines_.size() ? groupLines_[g + 1] : lines_.size();
    return;
  }
  begin = lines_.size() + 1;
  end = lines_.size();
}

long PreferenceFile::FindKey(const std::string& foldedKey) const {
  std::size_t begin = 0, end = 0;
  GroupRange(begin, end);
  if (begin > end) return -1;
  auto found = keyIndex_.find(foldedKey);
  if (found == keyIndex_.end()) return -1;
  std::size_t at = found->second.first;
  while (at != kNone && at < begin) at = nextSameKey_[at];
  if (at == kNone || at >= end) return -1;
  return static_cast<long>(at);
}

Text PreferenceFile::ReadTextKey(TextView key, TextView defaultValue) const {
  long at = FindKey(Fold(Utf16ToUtf8(key)));
  if (at < 0) return Text(defaultValue);
  return Utf8ToUtf16(TrimBlankBytes(lines_[static_cast<std::size_t>(at)].value));
}

std::int32_t PreferenceFile::ReadIntKey(TextView key, std::int32_t defaultValue) const {
  long at = FindKey(Fold(Utf16ToUtf8(key)));
  if (at < 0) return defaultValue;
  // Out-of-range numbers keep their low 32 bits.
  return static_cast<std::int32_t>(BytesToInt(lines_[static_cast<std::size_t>(at)].value));
}

void PreferenceFile::SetValue(TextView key, std::string value) {
  std::string keyUtf8 = WithoutLineBreaks(Utf16ToUtf8(key));
  std::string folded = Fold(keyUtf8);
  modified_ = true;
  long at = FindKey(folded);
  if (at >= 0) {
    Line& line = lines_[static_cast<std::size_t>(at)];
    line.key = std::move(keyUtf8);
    line.value = std::move(value);
    return;
  }
  std::size_t begin = 0, end = 0;
  GroupRange(begin, end);
  if (begin > end) {
    // The current group has no line yet: it starts at the end of the file.
    lines_.push_back(Line{LineKind::kGroup, group_, {}});
    groupLines_.push_back(lines_.size() - 1);
    end = lines_.size();
  }
  Line line{LineKind::kKey, std::move(keyUtf8), std::move(value)};
  if (end == lines_.size()) {
    lines_.push_back(std::move(line));
    IndexKeyLine(std::move(folded), lines_.size() - 1);
  } else {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(end), std::move(line));
    indexStale_ = true;
  }
}

void PreferenceFile::WriteTextKey(TextView key, TextView value) {
  SetValue(key, WithoutLineBreaks(Utf16ToUtf8(value)));
}

void PreferenceFile::WriteIntKey(TextView key, std::int32_t value) {
  SetValue(key, std::to_string(value));
}

void PreferenceFile::SelectGroup(TextView name) { group_ = WithoutLineBreaks(Utf16ToUtf8(name)); }

void PreferenceFile::AddLines(const std::vector<Line>& lines, bool atStart) {
  if (lines.empty()) return;
  lines_.insert(atStart ? lines_.begin() : lines_.end(), lines.begin(), lines.end());
  modified_ = true;
  indexStale_ = true;
}

bool PreferenceFile::ClosePreferenceFile(std::string* error, FileIdentity* written) {
  bool ok = true;
  if (modified_) {
    if (!haveName_) {
      if (error) *error = "no preference file name";
      ok = false;
    } else if (unreadable_) {
      if (error) *error = PathToNative(fileName_) + " could not be read; it is left as it is";
      ok = false;
    } else {
      std::string bytes(kMark);
      std::size_t size = bytes.size();
      for (const Line& line : lines_) size += line.key.size() + line.value.size() + 6;
      bytes.reserve(size);
      for (const Line& line : lines_) {
        switch (line.kind) {
          case LineKind::kGroup:
            bytes += '[';
            bytes += line.key;
            bytes += ']';
            break;
          case LineKind::kComment:
            bytes += "; ";
            bytes += line.key;
            break;
          case LineKind::kKey:
            bytes += line.key;
            bytes += " = ";
            bytes += line.value;
            break;
        }
        bytes += "\r\n";
      }
      ok = WritePrivateFileAtomically(fileName_, bytes, error);
      if (ok && written != nullptr) {
        if (std::optional<FileIdentity> id = StatIdentity(fileName_, ContentHash(bytes))) *written = *id;
      }
    }
  }
  Reset();
  return ok;
}

}  // namespace wexmoor
