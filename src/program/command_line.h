// The informational options of the command line: --help and --version print
// their text and end the program before any window opens.
#pragma once

#include <optional>
#include <ostream>

namespace wexmoor {

// The usage text printed by --help.
const char* UsageText();

// Looks for --help (-h) and --version (-V) among the arguments; a file of
// that name is reached as "./--help". When one is present, prints the usage
// or "Wexmoor 1.83" to `out` and returns the exit code; nullopt when the
// program should start normally. The first informational option wins.
std::optional<int> HandleInformationalOptions(int argc, char** argv, std::ostream& out);

}  // namespace wexmoor
