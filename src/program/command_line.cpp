#include "program/command_line.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/code_page.h"
#include "model/version.h"
#include "spooler/upload_history.h"

namespace wexmoor {

const char* UsageText() {
  return "Usage: wexmoor [PATH...]\n"
         "       wexmoor --service [PATH...]\n"
         "       wexmoor --history [N]\n"
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
         "With --service, Wexmoor runs without a window even where a display exists:\n"
         "it uploads its queue and its watch folders (\"WatchFolder<i>\" in the\n"
         "settings), writes one line per upload result on the standard output,\n"
         "reloads its settings on SIGHUP and ends on SIGTERM.\n"
         "\n"
         "Options:\n"
         "      --service  run as a service, without a window\n"
         "      --history [N]  show the last N upload results (20) and exit\n"
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

std::optional<int> HandleHistoryOption(int argc, char** argv, const Text& historyFile, std::ostream& out,
                                       std::ostream& err) {
  for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
    if (std::string_view(argv[i]) != "--history") continue;
    long long count = 20;
    if (i + 1 < argc && argv[i + 1] != nullptr) {
      const std::string_view next(argv[i + 1]);
      const bool number = !next.empty() && next.size() <= 9 &&
                          std::all_of(next.begin(), next.end(), [](char c) { return c >= '0' && c <= '9'; });
      if (number) count = std::stoll(std::string(next));
      if ((number && count <= 0) || (!number && !next.starts_with("-"))) {
        err << "wexmoor: --history takes a positive number of lines, not \"" << next << "\"\n";
        return 2;
      }
    }
    for (const std::string& line : LastHistoryLines(historyFile, static_cast<std::size_t>(count))) out << line << '\n';
    out.flush();
    return 0;
  }
  return std::nullopt;
}

bool TakeServiceOption(std::vector<Text>& args) {
  const auto end = std::remove(args.begin(), args.end(), Text(u"--service"));
  const bool found = end != args.end();
  args.erase(end, args.end());
  return found;
}

}  // namespace wexmoor
