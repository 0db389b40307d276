// The options of the command line: --help and --version print their text and
// end the program before any window opens; --service runs it without one.
#pragma once

#include <optional>
#include <ostream>
#include <vector>

#include "platform/text.h"

namespace wexmoor {

// The usage text printed by --help.
const char* UsageText();

// Looks for --help (-h) and --version (-V) among the arguments; a file of
// that name is reached as "./--help". When one is present, prints the usage
// or "Wexmoor 1.83" to `out` and returns the exit code; nullopt when the
// program should start normally. The first informational option wins.
std::optional<int> HandleInformationalOptions(int argc, char** argv, std::ostream& out);

// "--history [N]": prints the last N lines (20 when N is not given) of the
// upload history at `historyFile` to `out` and returns the exit code (2 with a
// word on `err` when N is not a positive number); nullopt without the option.
std::optional<int> HandleHistoryOption(int argc, char** argv, const Text& historyFile, std::ostream& out,
                                       std::ostream& err);

// Removes every "--service" from the arguments; true when there was one.
bool TakeServiceOption(std::vector<Text>& args);

}  // namespace wexmoor
