// Any file content parses (or is found not to be preferences, and is then
// never written over); writing it back and parsing again gives the same
// lines, keys and values, whatever encoding it was read in. Every value
// goes through the watch-folder parser too.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/files.h"
#include "settings/preference_file.h"
#include "settings/settings_store.h"

using namespace wexmoor;

namespace {
// Keys match without regard to ASCII case, so the marker may replace any
// "fuzzmarker" line of the input.
bool IsMarker(const std::string& key) {
  static constexpr char kMarker[] = "fuzzmarker";
  if (key.size() != sizeof kMarker - 1) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    char c = key[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != kMarker[i]) return false;
  }
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string dir = "/tmp/wexmoor-fuzz-prefs-" + std::to_string(::getpid());
  MakeFolders(NativeToPath(dir));
  const Text path = NativeToPath(dir + "/Fuzz.prefs");
  WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(data), size));

  PreferenceFile first;
  if (!first.OpenPreferenceFile(path)) {
    if (first.LastRead() != PreferenceFile::ReadOutcome::kNotPreferences) std::abort();
    first.WriteTextKey(u"FuzzMarker", u"1");
    // Not preferences: never written over.
    if (first.ClosePreferenceFile()) std::abort();
    return 0;
  }
  const auto lines = first.Lines();
  for (const auto& line : lines) {
    std::string reason;
    const auto setting = ParseWatchFolderValue(Utf8ToUtf16(line.value), &reason);
    if (!setting && reason.empty()) std::abort();
    if (setting && (setting->server.empty() || setting->folder.empty() || setting->after < 0 || setting->after > 1))
      std::abort();
  }
  Text probe = first.ReadTextKey(u"File0", u"");
  (void)first.ReadIntKey(u"PortFTP", 21);
  // Force a rewrite of exactly what was read.
  first.WriteTextKey(u"FuzzMarker", u"1");
  if (!first.ClosePreferenceFile()) std::abort();

  PreferenceFile second;
  if (!second.OpenPreferenceFile(path)) std::abort();
  // The marker line is inserted at the end of the top level, so compare the
  // lines without it.
  auto withoutMarker = [](const std::vector<PreferenceFile::Line>& in) {
    std::vector<PreferenceFile::Line> out;
    for (const auto& line : in)
      if (!(line.kind == PreferenceFile::LineKind::kKey && IsMarker(line.key))) out.push_back(line);
    return out;
  };
  const auto before = withoutMarker(lines);
  const auto after = withoutMarker(second.Lines());
  if (before.size() != after.size()) std::abort();
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i].kind != after[i].kind || before[i].key != after[i].key ||
        before[i].value != after[i].value)
      std::abort();
  }
  if (second.ReadTextKey(u"File0", u"") != probe && probe != u"") std::abort();
  return 0;
}
