// The options of the command line: --help and --version print their text and
// end the program before any window opens; --service runs it without one;
// --to names the server the paths go to; --pause and --resume ask the running
// program to pause or resume its uploads. An option the program does not know
// prints the usage and ends it with exit status 2.
#pragma once

#include <optional>
#include <ostream>
#include <vector>

#include "platform/text.h"
#include "program/instance_message.h"

namespace wexmoor {

// The usage text printed by --help.
const char* UsageText();

struct CommandLine {
  bool service = false;
  // --history [N]: print the upload history and end.
  bool history = false;
  // --pause or --resume: hand it to the running program and end (with no
  // path, --to or --service beside it).
  QueueCommand command = QueueCommand::kNone;
  // --to NAME (or --to=NAME): the server the paths go to; empty: the one
  // chosen in the program.
  Text server;
  // Everything else, in order ("--" ends the options; a file named like an
  // option is reached as "./--help" or after "--").
  std::vector<Text> paths;
  // Set: end at once with this code (--help, --version, a bad option).
  std::optional<int> exitCode;
};

// Reads the arguments after the program's name. --help (-h) and --version
// (-V) print to `out` (the first one wins); an unknown option, or --to
// without a name, prints the reason and the usage to `err`.
CommandLine ParseCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// "--history [N]": prints the last N lines (20 when N is not given) of the
// upload history at `historyFile` to `out` and returns the exit code (2 with a
// word on `err` when N is not a positive number); nullopt without the option.
std::optional<int> HandleHistoryOption(int argc, char** argv, const Text& historyFile, std::ostream& out,
                                       std::ostream& err);


}  // namespace wexmoor
