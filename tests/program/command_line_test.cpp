#include "program/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/code_page.h"

namespace wexmoor {
namespace {

TEST(CommandLineTest, OptionsPathsAndWhatEndsTheProgram) {
  struct Case {
    std::vector<std::string> args;
    std::optional<int> exitCode;
    bool service;
    Text server;
    std::vector<Text> paths;
    const char* out;  // in the standard output
    const char* err;  // in the error output
    QueueCommand command = QueueCommand::kNone;
  };
  const Case cases[] = {
      {{"a.txt", "b.txt"}, std::nullopt, false, u"", {u"a.txt", u"b.txt"}, "", ""},
      {{"--service", "a.txt"}, std::nullopt, true, u"", {u"a.txt"}, "", ""},
      {{"--to", "B\xC3\xBCro FTP", "a.txt"}, std::nullopt, false, u"B\u00FCro FTP", {u"a.txt"}, "", ""},
      {{"a.txt", "--to=Office", "--service"}, std::nullopt, true, u"Office", {u"a.txt"}, "", ""},
      {{"--", "--service", "-x"}, std::nullopt, false, u"", {u"--service", u"-x"}, "", ""},
      {{"-", "./--help"}, std::nullopt, false, u"", {u"-", u"./--help"}, "", ""},
      {{"--bogus"}, 2, false, u"", {}, "", "unknown option --bogus\nUsage: wexmoor"},
      {{"a.txt", "-x"}, 2, false, u"", {}, "", "unknown option -x"},
      {{"--to"}, 2, false, u"", {}, "", "--to needs the name of a server"},
      {{"--to="}, 2, false, u"", {}, "", "--to needs the name of a server"},
      {{"--bogus", "--help"}, 0, false, u"", {}, "Usage: wexmoor", ""},
      {{"-V", "--help"}, 0, false, u"", {}, "Wexmoor 1.83\n", ""},
      {{"--", "--help"}, std::nullopt, false, u"", {u"--help"}, "", ""},
      {{"--pause"}, std::nullopt, false, u"", {}, "", "", QueueCommand::kPause},
      {{"--resume", "--resume"}, std::nullopt, false, u"", {}, "", "", QueueCommand::kResume},
      {{"--", "--pause"}, std::nullopt, false, u"", {u"--pause"}, "", ""},
      {{"--pause", "--resume"}, 2, false, u"", {}, "", "--pause and --resume exclude each other"},
      {{"--pause", "a.txt"}, 2, false, u"", {}, "", "--pause takes no path, --to or --service"},
      {{"--resume", "--service"}, 2, false, u"", {}, "", "--resume takes no path"},
      {{"--to", "Office", "--pause"}, 2, false, u"", {}, "", "--pause takes no path"},
  };
  for (const Case& c : cases) {
    std::ostringstream out, err;
    const CommandLine line = ParseCommandLine(c.args, out, err);
    SCOPED_TRACE(c.args.empty() ? std::string() : c.args[0]);
    EXPECT_EQ(line.exitCode, c.exitCode);
    EXPECT_NE(out.str().find(c.out), std::string::npos) << out.str();
    EXPECT_NE(err.str().find(c.err), std::string::npos) << err.str();
    if (c.exitCode) continue;
    EXPECT_TRUE(err.str().empty());
    EXPECT_EQ(line.service, c.service);
    EXPECT_EQ(line.server, c.server);
    EXPECT_EQ(line.paths, c.paths);
    EXPECT_EQ(line.command, c.command);
  }
}

TEST(CommandLineTest, HelpSaysWhereTheSettingsLive) {
  const std::string usage = UsageText();
  for (const char* said : {"Wexmoor.prefs", "$XDG_CONFIG_HOME/wexmoor/", "~/.config/wexmoor/", "--to SERVER"})
    EXPECT_NE(usage.find(said), std::string::npos) << said;
}

}  // namespace
}  // namespace wexmoor
