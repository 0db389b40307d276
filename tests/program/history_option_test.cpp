#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "program/command_line.h"

namespace wexmoor {
namespace {

int RunOption(std::vector<std::string> args, const std::string& history, std::string& out, std::string& err,
        bool& handled) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::ostringstream o, e;
  const auto code = HandleHistoryOption(static_cast<int>(args.size()), argv.data(), Utf8ToUtf16(history), o, e);
  out = o.str();
  err = e.str();
  handled = code.has_value();
  return code.value_or(-1);
}

TEST(HistoryOption, PrintsTheLastLinesOrSaysWhatIsWrong) {
  testing::TempFolder dir;
  const std::string history = dir.File("Wexmoor.history");
  {
    std::ofstream f(history);
    for (int i = 1; i <= 30; ++i) f << "line " << i << "\n";
  }
  struct Case {
    std::vector<std::string> args;
    bool handled;
    int code;
    std::string firstOut;  // the first line printed
    int lines;
  } cases[] = {
      {{"wexmoor", "--history"}, true, 0, "line 11", 20},
      {{"wexmoor", "--history", "5"}, true, 0, "line 26", 5},
      {{"wexmoor", "--history", "500"}, true, 0, "line 1", 30},
      {{"wexmoor", "--history", "--service"}, true, 0, "line 11", 20},
      {{"wexmoor", "--history", "0"}, true, 2, "", 0},
      {{"wexmoor", "--history", "five"}, true, 2, "", 0},
      {{"wexmoor", "a.txt"}, false, -1, "", 0},
  };
  for (Case& c : cases) {
    std::string out, err;
    bool handled = false;
    EXPECT_EQ(RunOption(c.args, history, out, err, handled), c.code) << c.args.back();
    EXPECT_EQ(handled, c.handled);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), c.lines) << c.args.back();
    EXPECT_EQ(out.substr(0, out.find('\n') == std::string::npos ? 0 : out.find('\n')), c.firstOut);
    EXPECT_EQ(err.empty(), c.code != 2) << err;
  }
  std::string out, err;
  bool handled = false;
  EXPECT_EQ(RunOption({"wexmoor", "--history"}, dir.File("none"), out, err, handled), 0);  // no history yet: nothing
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace wexmoor
