// The preference file: a line-oriented key/value text with optional groups
// and comments, held in memory between opening and closing and written back
// in one piece when something changed.
//
// On disk the file is UTF-8 with the mark EF BB BF. A file without the mark
// is read as UTF-8 when it is valid UTF-8 holding at least one multi-byte
// sequence (what editors write), otherwise as ISO 8859-1; a file with the
// UTF-16 mark (either byte order) is read as UTF-16. Whatever was read is
// written back as UTF-8 with the mark. Any run of
// CR and LF ends a line; lines are written with CR LF. Nothing reaches the
// disk before ClosePreferenceFile, which replaces the file atomically, so a
// crash leaves the old file or the new one, never a partial one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/text.h"
#include "settings/file_identity.h"

namespace wexmoor {

class PreferenceFile {
 public:
  enum class LineKind { kGroup, kComment, kKey };
  struct Line {
    LineKind kind = LineKind::kKey;
    std::string key;    // UTF-8: key, group name or comment text
    std::string value;  // UTF-8, key lines only
  };

  // How the last open went.
  enum class ReadOutcome {
    kMissing,         // no file: defaults
    kRead,            // read and parsed
    kCannotRead,      // there, but the system would not give its bytes
    kNotPreferences,  // NUL bytes, or not one key, group or comment line
  };
  enum class Encoding { kUtf8WithMark, kUtf8, kUtf16, kLatin1 };

  PreferenceFile() = default;
  PreferenceFile(const PreferenceFile&) = delete;
  PreferenceFile& operator=(const PreferenceFile&) = delete;

  // Reads and parses an existing file whole. When the file does not exist it
  // returns false but keeps the name: reads give their defaults, and writes
  // followed by ClosePreferenceFile create the file.
  bool OpenPreferenceFile(const Text& fileName);
  // Starts the file anew with no lines (the file on disk is replaced only by
  // ClosePreferenceFile). False when the folder cannot take the file.
  bool CreatePreferenceFile(const Text& fileName);

  // The value of `key` in the current group, blanks trimmed at both ends, or
  // the default when the key is absent.
  Text ReadTextKey(TextView key, TextView defaultValue) const;
  // The value read as a decimal integer (leading blanks, optional sign, digits
  // up to the first other character; no digits give 0), or the default when
  // the key is absent.
  std::int32_t ReadIntKey(TextView key, std::int32_t defaultValue) const;
  // Sets the value of `key` in the current group: in place when it exists
  // (the key takes the new letter case), otherwise as a new line at the end
  // of the group. Line breaks in a value would split the line: they are
  // written as spaces.
  void WriteTextKey(TextView key, TextView value);
  void WriteIntKey(TextView key, std::int32_t value);
  // Makes a group current; an empty name is the top level.
  void SelectGroup(TextView name);

  // Writes the file when it was modified (mark, then every line followed by
  // CR LF), then releases everything. Returns false when writing failed; the
  // old file is then intact and `error` (when given) holds the reason.
  // `written` (when given) takes the identity of the file as written; it is
  // left alone when nothing was written.
  bool ClosePreferenceFile(std::string* error = nullptr, FileIdentity* written = nullptr);

  // Puts `lines` before the first line (`atStart`) or after the last one.
  void AddLines(const std::vector<Line>& lines, bool atStart);

  bool IsModified() const { return modified_; }
  // The file was read without the mark, as ISO 8859-1.
  bool ReadAsLatin1() const { return encoding_ == Encoding::kLatin1; }
  Encoding ReadEncoding() const { return encoding_; }
  ReadOutcome LastRead() const { return outcome_; }
  // The identity of the file as read (nullopt when none was read).
  const std::optional<FileIdentity>& ReadIdentity() const { return identity_; }
  const std::vector<Line>& Lines() const { return lines_; }

 private:
  void Reset();
  void Parse(std::string_view utf8);
  void RebuildIndex() const;
  // [begin, end) of the lines searched for the current group; begin > end
  // when the group has no line yet.
  void GroupRange(std::size_t& begin, std::size_t& end) const;
  // Index of the first key line matching `foldedKey` in the current group,
  // or -1.
  long FindKey(const std::string& foldedKey) const;
  void SetValue(TextView key, std::string value);

  Text fileName_;
  bool haveName_ = false;
  // The file exists but could not be read: never overwrite it.
  bool unreadable_ = false;
  bool modified_ = false;
  Encoding encoding_ = Encoding::kUtf8WithMark;
  ReadOutcome outcome_ = ReadOutcome::kMissing;
  std::optional<FileIdentity> identity_;
  std::string group_;  // UTF-8; empty = top level
  std::vector<Line> lines_;

  // Key lines by case-folded key: the first and last line with that key,
  // and for every line the next line with the same key (kNone at the end of
  // the chain); group lines in order. Rebuilt lazily after a line was
  // inserted before the end.
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  struct KeyChain {
    std::size_t first = kNone;
    std::size_t last = kNone;
  };
  void IndexKeyLine(std::string folded, std::size_t line) const;
  mutable std::unordered_map<std::string, KeyChain> keyIndex_;
  mutable std::vector<std::size_t> nextSameKey_;
  mutable std::vector<std::size_t> groupLines_;
  mutable bool indexStale_ = false;
};

}  // namespace wexmoor
