// The built program started as a user starts it: in a folder, with
// arguments, its output in a log file, ended with SIGTERM.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "support/wait_for.h"

namespace wexmoor::testing {

std::string ReadAll(const std::string& path);

class RunningProgram {
 public:
  // Starts `program` (the built wexmoor unless given) in `folder`, without a
  // web site configured so that nothing leaves the machine, and with the
  // XDG configuration and cache folders inside `folder`. `environment`
  // holds extra "NAME=value" entries that replace any of the same name
  // (a local web site, for instance).
  RunningProgram(const std::string& folder, const std::vector<std::string>& args,
                 const std::string& logName = "program.log", std::string program = {},
                 const std::vector<std::string>& environment = {});
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  bool ok() const { return ok_; }
  pid_t pid() const { return pid_; }
  // SIGTERM, then the exit status (-1 when it did not end within 20 s).
  int Terminate();
  // Sends `signal`; the exit status, or -1 when it did not end within `ms`.
  int EndWith(int signal, int ms);
  // The exit status once it ends by itself; -1 when it runs on after `ms`.
  int Wait(int ms);

 private:
  pid_t pid_ = -1;
  bool ok_ = false;
  bool ended_ = false;
};

// Saves a screenshot of the whole display into <build>/screenshots/<name>.png.
bool TakeScreenshot(const std::string& name);

}  // namespace wexmoor::testing
