// Small helpers shared by the spooler's tests.
#pragma once

#include <cstdio>
#include <string>

#include "platform/code_page.h"
#include "platform/files.h"
#include "platform/text.h"

namespace wexmoor::testing {

inline Text T(const std::string& utf8) { return NativeToPath(utf8); }

// Runs a shell command; its exit status and standard output.
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  std::string out;
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  int status = ::pclose(pipe);
  if (output) *output = out;
  return status;
}

// Runs a Python script (the system's own interpreter) given as text.
inline int RunPython(const std::string& script, std::string* output = nullptr) {
  std::string quoted = "'";
  for (char c : script) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  quoted += "'";
  return RunCommand("/usr/bin/python3 -c " + quoted + " 2>&1", output);
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  WriteWholeFile(T(path), bytes);
}

inline std::string ReadFile(const std::string& path) { return ReadWholeFile(T(path)).value_or("<missing>"); }

}  // namespace wexmoor::testing
