// The desktop files as desktop environments and software centres read them,
// and the built program's informational options.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "model/version.h"

namespace wexmoor {
namespace {

using testing::BinaryDir;
using testing::SourceDir;
using testing::TempFolder;

struct CommandRun {
  int status = -1;
  std::string output;
};

CommandRun RunCommand(const std::string& command) {
  CommandRun run;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

bool HaveTool(const std::string& tool) { return RunCommand("command -v " + tool + " >/dev/null").status == 0; }

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(DesktopFiles, MenuEntryAndMetadataValidate) {
  const std::string desktop = SourceDir() + "/packaging/wexmoor.desktop";
  const std::string metainfo = BinaryDir() + "/packaging/io.wexmoor.Wexmoor.metainfo.xml";
  if (HaveTool("desktop-file-validate")) {
    const CommandRun run = RunCommand("desktop-file-validate " + Quoted(desktop));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "");
  } else {
    ADD_FAILURE() << "desktop-file-validate missing (desktop-file-utils)";
  }
  if (HaveTool("appstreamcli")) {
    const CommandRun run = RunCommand("appstreamcli validate --no-net " + Quoted(metainfo));
    EXPECT_EQ(run.status, 0) << run.output;
  } else {
    ADD_FAILURE() << "appstreamcli missing (appstream)";
  }
  // The metadata announces the version the program calls itself.
  const std::string release = "<release version=\"" + Utf16ToUtf8(kVersionText) + "\"";
  EXPECT_NE(ReadFile(metainfo).find(release), std::string::npos);
}

TEST(DesktopFiles, IconsHaveTheSizeOfTheirThemeFolder) {
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const std::string png = ReadFile(SourceDir() + "/packaging/icons/wexmoor-" + std::to_string(size) + ".png");
    ASSERT_GE(png.size(), 24u) << size;
    ASSERT_EQ(png.substr(1, 3), "PNG") << size;
    auto word = [&](std::size_t at) {
      return (static_cast<unsigned char>(png[at]) << 24) | (static_cast<unsigned char>(png[at + 1]) << 16) |
             (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
    };
    EXPECT_EQ(word(16), size);
    EXPECT_EQ(word(20), size);
  }
}

TEST(InstalledProgram, VersionAndHelpPrintWithoutStarting) {
  const std::string program = BinaryDir() + "/bin/wexmoor";
  if (!std::filesystem::exists(program)) GTEST_SKIP() << "program not built";
  TempFolder folder;
  // No display and a bounded run: a program that started instead of printing
  // would wait for a signal.
  const std::string prefix = "cd " + Quoted(folder.path()) + " && env -u DISPLAY -u WAYLAND_DISPLAY timeout -s KILL 20 " +
                             Quoted(program);
  const CommandRun version = RunCommand(prefix + " --version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "Wexmoor 1.83\n");
  const CommandRun help = RunCommand(prefix + " --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output.rfind("Usage: wexmoor", 0), 0u) << help.output;
  EXPECT_NE(help.output.find("--version"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder.File("Wexmoor.prefs")));
}

}  // namespace
}  // namespace wexmoor
