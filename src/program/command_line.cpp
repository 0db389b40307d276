#include "program/command_line.h"

#include <string_view>

#include "platform/code_page.h"
#include "model/version.h"

namespace wexmoor {

const char* UsageText() {
  return "Usage: wexmoor [PATH...]\n"
         "       wexmoor --help | --version\n"
         "\n"
         "Queues each PATH (a file or a folder) for upload to the server selected in\n"
         "the window, as if it had been dropped on the window. Paths are taken in\n"
         "order up to the first one that does not exist.\n"
         "\n"
         "If Wexmoor already runs in the current folder, the paths are handed to it\n"
         "and this start ends at once.\n"
         "\n"
         "Settings are read from \"Wexmoor.prefs\" in the current folder and written\n"
         "back at exit.\n"
         "\n"
         "Options:\n"
         "  -h, --help     show this text and exit\n"
         "  -V, --version  show the version and exit\n"
         "\n"
         "Environment:\n"
         "  WEXMOOR_SITE         base address of the maker's web site\n"
         "  WEXMOOR_IP_ECHO_URL  page that echoes the caller's IP address\n";
}

std::optional<int> HandleInformationalOptions(int argc, char** argv, std::ostream& out) {
  for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--help" || arg == "-h") {
      out << UsageText();
      out.flush();
      return 0;
    }
    if (arg == "--version" || arg == "-V") {
      out << Utf16ToUtf8(kProductName) << ' ' << Utf16ToUtf8(kVersionText) << '\n';
      out.flush();
      return 0;
    }
  }
  return std::nullopt;
}

}  // namespace wexmoor
