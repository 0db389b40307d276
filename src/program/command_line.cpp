#include "program/command_line.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "model/version.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "spooler/upload_history.h"

namespace wexmoor {

const char* UsageText() {
  return "Usage: wexmoor [--to SERVER] [PATH...]\n"
         "       wexmoor --service [--to SERVER] [PATH...]\n"
         "       wexmoor --history [N]\n"
         "       wexmoor --pause | --resume\n"
         "       wexmoor --help | --version\n"
         "\n"
         "Queues each PATH (a file or a folder) for upload to the server selected in\n"
         "the window (or the one named with --to), as if it had been dropped on the\n"
         "window. Paths are taken in order up to the first one that does not exist.\n"
         "\n"
         "If Wexmoor already runs with the same settings, the paths are handed to it\n"
         "and this start ends at once: with exit status 0 when they were queued, 1\n"
         "(and the reason) when the running program cannot queue them.\n"
         "\n"
         "Settings live in \"Wexmoor.prefs\": in the current folder when it holds one\n"
         "(the portable set-up), otherwise in $XDG_CONFIG_HOME/wexmoor/\n"
         "(~/.config/wexmoor/). The file may be edited while Wexmoor runs: the edit is\n"
         "read within a few seconds, and kept.\n"
         "\n"
         "With --service, Wexmoor runs without a window even where a display exists:\n"
         "it uploads its queue and its watch folders (\"WatchFolder<i>\" in the\n"
         "settings), writes one line per upload result on the standard output,\n"
         "reloads its settings on SIGHUP and ends on SIGTERM.\n"
         "\n"
         "--pause and --resume ask the Wexmoor that runs with the same settings (with\n"
         "or without a window) to pause every upload, or to resume them: running\n"
         "uploads stop within a second and continue later from where they stopped.\n"
         "They end with exit status 0 once it took the request, 1 when none runs.\n"
         "\n"
         "Options:\n"
         "      --service      run as a service, without a window\n"
         "      --to SERVER    queue the paths for the server of that name\n"
         "  -h, --help         show this text and exit\n"
         "  -V, --version      show the version and exit\n"
         "      --history [N]  show the last N upload results (20) and exit\n"
         "      --pause        pause the uploads of the running Wexmoor\n"
         "      --resume       resume the uploads of the running Wexmoor\n"
         "      --             what follows is a path, even when it begins with -\n"
         "\n"
         "Environment:\n"
         "  WEXMOOR_SITE         base address of the maker's web site\n"
         "  WEXMOOR_IP_ECHO_URL  page that echoes the caller's IP address\n";
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommandLine line;
  const auto fail = [&](const std::string& why) {
    err << "wexmoor: " << why << "\n" << UsageText();
    err.flush();
    line.exitCode = 2;
    return line;
  };
  // The first informational option wins, wherever it stands.
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      out << UsageText();
      out.flush();
      line.exitCode = 0;
      return line;
    }
    if (arg == "--version" || arg == "-V") {
      out << Utf16ToUtf8(kProductName) << ' ' << Utf16ToUtf8(kVersionText) << '\n';
      out.flush();
      line.exitCode = 0;
      return line;
    }
  }
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      line.paths.push_back(NativeToPath(arg));
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--service") {
      line.service = true;
    } else if (arg == "--pause" || arg == "--resume") {
      const QueueCommand command = arg == "--pause" ? QueueCommand::kPause : QueueCommand::kResume;
      if (line.command != QueueCommand::kNone && line.command != command)
        return fail("--pause and --resume exclude each other");
      line.command = command;
    } else if (arg == "--history") {
      // Its count, if any, is read by HandleHistoryOption.
      line.history = true;
      if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') ++i;
    } else if (arg == "--to" || arg.starts_with("--to=")) {
      std::string name;
      if (arg == "--to") {
        if (i + 1 >= args.size()) return fail("--to needs the name of a server");
        name = args[++i];
      } else {
        name = arg.substr(5);
      }
      if (name.empty()) return fail("--to needs the name of a server");
      line.server = Utf8ToUtf16(name);
    } else {
      return fail("unknown option " + arg);
    }
  }
  if (line.command != QueueCommand::kNone && (line.service || !line.server.empty() || !line.paths.empty()))
    return fail(std::string(line.command == QueueCommand::kPause ? "--pause" : "--resume") +
                " takes no path, --to or --service");
  return line;
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

}  // namespace wexmoor
