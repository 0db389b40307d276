#include "web/version_records.h"

#include <charconv>
#include <string>

namespace wexmoor {

namespace {

bool ContainsIgnoreCase(TextView text, TextView what) {
  return ToLowerAscii(text).find(ToLowerAscii(what)) != Text::npos;
}

std::vector<Text> Split(TextView text, char16_t separator) {
  std::vector<Text> parts;
  std::size_t start = 0;
  while (true) {
    const auto at = text.find(separator, start);
    parts.emplace_back(text.substr(start, at == TextView::npos ? TextView::npos : at - start));
    if (at == TextView::npos) return parts;
    start = at + 1;
  }
}

}  // namespace

double VersionValue(TextView version) {
  const double offset = ContainsIgnoreCase(version, u"beta") ? -1000.0 : 0.0;
  Text t = ReplaceAll(ToLowerAscii(version), u"beta", u"");
  t = ReplaceAll(t, u" ", u"");
  t = ReplaceAll(t, u">", u"");
  t = ReplaceAll(t, u"<", u"");
  t = TrimBlanks(t);
  t = ReplaceAll(t, u",", u".");
  for (std::size_t k = 0; k < t.size(); ++k) {
    const char16_t c = t[k];
    if (c < u'a' || c > u'z') continue;
    Text digits = IntToText(c - u'a' + 1);
    if (t.find(u'.') == Text::npos) digits.insert(digits.begin(), u'.');
    t.replace(k, 1, digits);
    k += digits.size() - 1;
  }
  // The decimal number at the start, read without the locale's help.
  std::string ascii;
  for (char16_t c : t) {
    if (c > 0x7F) break;
    ascii.push_back(static_cast<char>(c));
  }
  double value = 0.0;
  std::from_chars(ascii.data(), ascii.data() + ascii.size(), value, std::chars_format::fixed);
  return value + offset;
}

std::vector<VersionRecord> FindVersionRecords(TextView versionFile, TextView product,
                                              TextView runningVersion) {
  std::vector<VersionRecord> records;
  std::size_t from = 0;
  while (true) {
    const auto start = versionFile.find(product, from);
    if (start == TextView::npos) break;
    const auto end = versionFile.find(u"|End", start);
    if (end == TextView::npos) break;
    from = end + 3;  // just after "|En"
    std::vector<Text> fields = Split(versionFile.substr(start, end - start), u'|');
    if (fields.size() < 3) continue;
    VersionRecord record;
    record.newVersion = fields[1];
    std::size_t next = 2;
    if (ToLowerAscii(fields[2]).rfind(u"http", 0) == 0) {
      record.conditions = {Text(runningVersion)};
    } else {
      record.conditions = Split(fields[2], u':');
      next = 3;
    }
    if (next >= fields.size()) continue;
    record.archiveAddress = fields[next++];
    record.installItems.assign(fields.begin() + static_cast<std::ptrdiff_t>(next), fields.end());
    if (record.installItems.empty()) continue;
    records.push_back(std::move(record));
  }
  return records;
}

bool RecordApplies(const VersionRecord& record, TextView runningVersion) {
  const double running = VersionValue(runningVersion);
  if (!(running < VersionValue(record.newVersion))) return false;
  for (const Text& token : record.conditions) {
    const double value = VersionValue(token);
    if (value == running) return true;
    if (!token.empty() && token.front() == u'>' && value < running) return true;
    if (!token.empty() && token.front() == u'<' && value > running) return true;
  }
  return false;
}

Text InstallListText(const std::vector<Text>& items) {
  Text list;
  for (const Text& item : items) list += item + u"|";
  return list;
}

}  // namespace wexmoor
