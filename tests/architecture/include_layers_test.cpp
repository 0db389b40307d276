// Every `#include "folder/..."` in src/ and app/ must name the file's own
// folder or one of the folders below it in the layer table (DESIGN's
// "Layout"). A failure names the file, the line and what was included.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace wexmoor::testing {
namespace {

namespace fs = std::filesystem;

using LayerTable = std::map<std::string, std::set<std::string>>;

// Lowest first; each row: the folders it may include besides its own.
const LayerTable& Layers() {
  static const LayerTable table = [] {
    const std::set<std::string> belowProgram = {"platform", "model", "i18n", "settings", "archive",
                                                "http",     "ftp",   "sftp",    "webdav",  "spooler", "web", "locked"};
    std::set<std::string> belowUi = belowProgram;
    belowUi.insert("program");
    std::set<std::string> belowApp = belowUi;
    belowApp.insert("ui");
    return LayerTable{
        {"platform", {}},
        {"model", {"platform"}},
        {"i18n", {"platform"}},
        {"settings", {"model", "platform"}},
        {"archive", {"platform"}},
        {"http", {"platform"}},
        {"ftp", {"model", "http", "platform"}},
        {"sftp", {"model", "http", "platform"}},
        {"webdav", {"model", "http", "platform"}},
        {"spooler", {"ftp", "sftp", "webdav", "archive", "settings", "model", "i18n", "http", "platform"}},
        {"web", {"http", "archive", "settings", "model", "i18n", "platform"}},
        {"locked", {"settings", "model", "i18n", "platform"}},
        {"program", belowProgram},
        {"ui", belowUi},
        {"app", belowApp},
        {"updater", {}},
    };
  }();
  return table;
}

bool IsSource(const fs::path& path) {
  const std::string ext = path.extension().string();
  return ext == ".h" || ext == ".cpp" || ext == ".in";
}

// One line per forbidden include of the files below `root`, whose first
// folder names the layer; `shownAs` prefixes the reported paths. `folderOf`
// overrides the layer of the files (app/ is a layer of its own).
std::vector<std::string> ForbiddenIncludes(const fs::path& root, const std::string& shownAs,
                                           const std::string& folderOf = "") {
  static const std::regex include(R"re(^\s*#\s*include\s*"([^"/]+)/[^"]*")re");
  std::vector<std::string> problems;
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file() && IsSource(entry.path())) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    const fs::path relative = fs::relative(file, root);
    const std::string shown = shownAs + relative.generic_string();
    const std::string folder = folderOf.empty() ? relative.begin()->string() : folderOf;
    const auto row = Layers().find(folder);
    if (row == Layers().end()) {
      problems.push_back(shown + ": folder \"" + folder + "\" has no row in the layer table");
      continue;
    }
    std::ifstream in(file);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      std::smatch match;
      if (!std::regex_search(line, match, include)) continue;
      const std::string target = match[1];
      if (target == folder || row->second.count(target) != 0) continue;
      const bool known = Layers().count(target) != 0;
      problems.push_back(shown + ":" + std::to_string(number) + ": " + folder + "/ may not include " +
                         (known ? target + "/" : "\"" + target + "/\" (no such layer)") + ": " + line);
    }
  }
  return problems;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

TEST(IncludeLayers, SourcesIncludeOnlyTheirOwnAndLowerLayers) {
  const fs::path source(WEXMOOR_SOURCE_DIR);
  std::vector<std::string> problems = ForbiddenIncludes(source / "src", "src/");
  const std::vector<std::string> app = ForbiddenIncludes(source / "app", "app/", "app");
  problems.insert(problems.end(), app.begin(), app.end());
  EXPECT_TRUE(problems.empty()) << Joined(problems);
}

// The environment is read once, by the composition root (and by the updater,
// a program of its own); every layer below gets what it needs passed down.
TEST(IncludeLayers, OnlyTheProgramLayerReadsTheEnvironment) {
  const fs::path src = fs::path(WEXMOOR_SOURCE_DIR) / "src";
  std::vector<std::string> readers;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file() || !IsSource(entry.path())) continue;
    const fs::path relative = fs::relative(entry.path(), src);
    const std::string folder = relative.begin()->string();
    if (folder == "program" || folder == "updater") continue;
    std::ifstream in(entry.path());
    std::string line;
    for (int number = 1; std::getline(in, line); ++number)
      if (line.find("getenv") != std::string::npos)
        readers.push_back("src/" + relative.generic_string() + ":" + std::to_string(number));
  }
  EXPECT_TRUE(readers.empty()) << Joined(readers);
}

// The check itself: an upward include, an unknown folder and a folder without
// a row are each reported with file and line.
TEST(IncludeLayers, ReportsFileAndLineOfEachForbiddenInclude) {
  const fs::path root = fs::temp_directory_path() / ("wexmoor-layers-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "ftp");
  fs::create_directories(root / "ui" / "locked");
  fs::create_directories(root / "extra");
  std::ofstream(root / "ftp" / "a.cpp") << "#include \"ftp/a.h\"\n#include \"model/b.h\"\n"
                                           "  #  include \"spooler/c.h\"\n#include <web/d.h>\n";
  std::ofstream(root / "ui" / "locked" / "w.h") << "#include \"program/p.h\"\n#include \"tools/t.h\"\n";
  std::ofstream(root / "extra" / "e.cpp") << "#include \"platform/x.h\"\n";

  const std::vector<std::string> problems = ForbiddenIncludes(root, "src/");
  fs::remove_all(root);
  ASSERT_EQ(problems.size(), 3u) << Joined(problems);
  EXPECT_EQ(problems[0], "src/extra/e.cpp: folder \"extra\" has no row in the layer table");
  EXPECT_EQ(problems[1], "src/ftp/a.cpp:3: ftp/ may not include spooler/:   #  include \"spooler/c.h\"");
  EXPECT_EQ(problems[2], "src/ui/locked/w.h:2: ui/ may not include \"tools/\" (no such layer): "
                         "#include \"tools/t.h\"");
}

}  // namespace
}  // namespace wexmoor::testing
