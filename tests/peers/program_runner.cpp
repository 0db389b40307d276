#include "peers/program_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "peers/test_paths.h"

extern char** environ;

namespace wexmoor::testing {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

RunningProgram::RunningProgram(const std::string& folder, const std::vector<std::string>& args,
                               const std::string& logName, std::string program,
                               const std::vector<std::string>& environment) {
  if (program.empty()) program = BinaryDir() + "/bin/wexmoor";
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  // Each entry replaces any of the same name; no web traffic unless asked for.
  const auto put = [&env](const std::string& entry) {
    const auto equals = entry.find('=');
    const std::string name = equals == std::string::npos ? entry + "=" : entry.substr(0, equals + 1);
    std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    env.push_back(entry);
  };
  put("WEXMOOR_SITE=");
  // Without a preference file in `folder`, the settings go to the XDG
  // folders: kept inside `folder`, never the user's own.
  put("XDG_CONFIG_HOME=" + folder + "/.config");
  put("XDG_CACHE_HOME=" + folder + "/.cache");
  for (const std::string& entry : environment) put(entry);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  const std::string log = folder + "/" + logName;
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  ok_ = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0;
  posix_spawn_file_actions_destroy(&actions);
}

RunningProgram::~RunningProgram() {
  if (pid_ > 0 && !ended_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

int RunningProgram::Terminate() { return EndWith(SIGTERM, 20000); }

int RunningProgram::EndWith(int signal, int ms) {
  kill(pid_, signal);
  return Wait(ms);
}

int RunningProgram::Wait(int ms) {
  int status = 0;
  const bool done = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, std::chrono::milliseconds(ms));
  if (!done) return -1;
  ended_ = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool TakeScreenshot(const std::string& name) {
  const std::string folder = BinaryDir() + "/screenshots";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::string command = "import -window root '" + folder + "/" + name + ".png' 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

}  // namespace wexmoor::testing
