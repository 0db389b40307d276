#include "updater/updater.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>
#include <thread>

extern char** environ;

namespace wexmoor::updater {

namespace fs = std::filesystem;

namespace {

std::string ReplaceEvery(std::string text, const std::string& from, const std::string& to) {
  std::size_t at = 0;
  while ((at = text.find(from, at)) != std::string::npos) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

bool IsExecuteItem(const std::string& item) {
  static constexpr char kPrefix[] = "execute:";
  if (item.size() < 8) return false;
  for (std::size_t i = 0; i < 8; ++i) {
    char c = item[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kPrefix[i]) return false;
  }
  return true;
}

// The final component: the text after the last "/" or "\".
std::string FinalComponent(const std::string& path) {
  const auto at = path.find_last_of("/\\");
  return at == std::string::npos ? path : path.substr(at + 1);
}

// Copies through a temporary file and a rename, so that a running program's
// file can be replaced and a failed copy leaves the old file as it was. A
// replaced file keeps its permission bits (unpacked files carry none, and the
// program must stay executable); a new file takes the source's.
bool ReplaceFile(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  if (!fs::is_regular_file(from, ec)) return false;
  const fs::file_status existing = fs::status(to, ec);
  const fs::perms mode = fs::is_regular_file(existing) ? existing.permissions() : fs::status(from, ec).permissions();
  std::string tempName(".");
  tempName.append(to.filename().string()).append(".update-tmp");
  const fs::path temp = to.parent_path() / tempName;
  fs::remove(temp, ec);
  if (!fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec)) {
    fs::remove(temp, ec);
    return false;
  }
  fs::permissions(temp, mode, ec);
  fs::rename(temp, to, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return false;
  }
  return true;
}

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// A file the install list asks to run gets execute permission wherever it
// can be read.
void MakeExecutable(const fs::path& file) {
  std::error_code ec;
  const fs::file_status st = fs::status(file, ec);
  if (ec || !fs::is_regular_file(st)) return;
  fs::perms p = st.permissions();
  if ((p & fs::perms::owner_read) != fs::perms::none) p |= fs::perms::owner_exec;
  if ((p & fs::perms::group_read) != fs::perms::none) p |= fs::perms::group_exec;
  if ((p & fs::perms::others_read) != fs::perms::none) p |= fs::perms::others_exec;
  if (p != st.permissions()) fs::permissions(file, p, ec);
}

}  // namespace

std::string DecodeProgramPath(const std::string& encoded) { return ReplaceEvery(encoded, "espace", " "); }

bool ItemIsSafe(const std::string& item, const std::string& cur) {
  const std::string path = ReplaceEvery(item, "\\", "/");
  if (path.empty() || path.front() == '/' || cur.empty()) return false;
  const fs::path relative(path);
  for (const auto& part : relative)
    if (part == "..") return false;
  if (relative.filename().empty()) return false;
  std::error_code ec;
  const fs::path base = fs::weakly_canonical(cur, ec);
  if (ec) return false;
  const fs::path resolved = fs::weakly_canonical(base / relative, ec);
  if (ec) return false;
  auto b = base.begin();
  auto r = resolved.begin();
  for (; b != base.end(); ++b, ++r)
    if (r == resolved.end() || *b != *r) return false;
  return r != resolved.end();
}

bool StartDetached(const std::string& program, const std::string& dir) {
  if (program.empty()) return false;
  struct stat st;
  const std::string full = (program.front() == '/' || dir.empty()) ? program : dir + "/" + program;
  if (::stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(full.c_str(), X_OK) != 0)
    return false;
  // A short-lived shell starts the program in the background and ends, so
  // the program is adopted by init.
  std::string words[] = {"/bin/sh", "-c", "\"$0\" </dev/null &", full};
  char* argv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data(), nullptr};
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int InstallUpdate(const std::string& cur, const std::string& programPath, std::ostream& errors,
                  const std::string& from) {
  const fs::path base(cur);
  const fs::path updateDir = fs::path(from.empty() ? cur : from) / "UpdateProg";
  std::vector<std::string> runList;
  int failed = 0;

  std::string list = FirstLine(updateDir / "Paths.txt");
  while (!list.empty()) {
    const auto bar = list.find('|');
    const std::string item = list.substr(0, bar);
    list = bar == std::string::npos ? std::string() : list.substr(bar + 1);
    if (item.empty()) continue;
    if (IsExecuteItem(item)) {
      const std::string run = item.substr(8);
      if (ItemIsSafe(run, cur)) {
        runList.push_back(ReplaceEvery(run, "\\", "/"));
      } else {
        errors << "Error while updating " << FinalComponent(run) << "\n";
        ++failed;
      }
      continue;
    }
    const std::string name = FinalComponent(item);
    bool ok = ItemIsSafe(item, cur);
    if (ok) {
      const fs::path dest = base / ReplaceEvery(item, "\\", "/");
      std::error_code ec;
      fs::create_directories(dest.parent_path(), ec);
      ok = ReplaceFile(updateDir / name, dest);
    }
    if (!ok) {
      errors << "Error while updating " << name << "\n";
      ++failed;
    }
  }

  std::error_code ec;
  fs::remove_all(updateDir, ec);

  if (!programPath.empty()) StartDetached(programPath, cur);
  for (const std::string& entry : runList) {
    MakeExecutable(base / entry);
    StartDetached((base / entry).string(), cur);
  }
  return failed;
}

int RunUpdater(int argc, char** argv) {
  long waitMs = 1000;
  if (const char* wait = std::getenv("WEXMOOR_UPDATER_WAIT_MS")) {
    char* end = nullptr;
    const long value = std::strtol(wait, &end, 10);
    if (end != wait && value >= 0 && value <= 60000) waitMs = value;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
  std::error_code ec;
  const std::string cur = fs::current_path(ec).string();
  if (ec || cur.empty()) return 1;
  const std::string program = argc > 1 ? DecodeProgramPath(argv[1]) : std::string();
  const std::string from = argc > 2 ? DecodeProgramPath(argv[2]) : std::string();
  InstallUpdate(cur, program, std::cerr, from);
  return 0;
}

}  // namespace wexmoor::updater
