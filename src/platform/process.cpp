#include "platform/process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"

extern char** environ;

namespace wexmoor {

bool StartProgram(const Text& program, const std::vector<Text>& arguments,
                  const Text& workingDirectory) {
  const std::string file = PathToNative(program);
  if (file.empty()) return false;
  const std::string dir = PathToNative(workingDirectory);
  // A program named with a folder is checked here, relative to the folder it
  // starts in, so that a missing file is reported instead of vanishing in the
  // intermediate shell.
  if (file.find('/') != std::string::npos) {
    std::string full = file;
    if (file.front() != '/' && !dir.empty()) full = dir + "/" + file;
    struct stat st;
    if (::stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(full.c_str(), X_OK) != 0)
      return false;
  }

  // A short-lived shell starts the program in the background and ends; the
  // program is then adopted by init, and we only wait for the shell.
  std::vector<std::string> words = {"/bin/sh", "-c", "\"$0\" \"$@\" </dev/null &", file};
  for (const auto& a : arguments) words.push_back(PathToNative(a));
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  if (!dir.empty() && posix_spawn_file_actions_addchdir_np(&actions, dir.c_str()) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  pid_t pid = 0;
  int rc = posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace wexmoor
