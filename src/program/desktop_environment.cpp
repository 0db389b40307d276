#include "program/desktop_environment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/code_page.h"
#include "platform/files.h"
#include "program/program_services.h"

namespace wexmoor {
namespace {

Text FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? NativeToPath(value) : Text();
}

// An unset or empty value takes the build's default.
Text FromEnvironment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return Utf8ToUtf16(value != nullptr && *value != '\0' ? value : fallback);
}

}  // namespace

ProgramEnvironment ReadProgramEnvironment() {
  ProgramEnvironment environment;
  Text site = TrimBlanks(FromEnvironment("WEXMOOR_SITE", WEXMOOR_DEFAULT_SITE));
  while (!site.empty() && site.back() == u'/') site.pop_back();
  environment.site = site;
  environment.ipEchoUrl = FromEnvironment("WEXMOOR_IP_ECHO_URL", WEXMOOR_DEFAULT_IP_ECHO_URL);
  return environment;
}

DesktopEnvironment ReadDesktopEnvironment() {
  DesktopEnvironment e;
  e.currentDirectory = CurrentDirectory();
  e.home = FromEnvironment("HOME");
  e.configHome = FromEnvironment("XDG_CONFIG_HOME");
  e.cacheHome = FromEnvironment("XDG_CACHE_HOME");
  e.stateHome = FromEnvironment("XDG_STATE_HOME");
  e.runtimeDir = FromEnvironment("XDG_RUNTIME_DIR");
  e.userId = static_cast<unsigned>(::getuid());
  e.sessionBus = FromEnvironment("DBUS_SESSION_BUS_ADDRESS");
  e.sshAgentSocket = FromEnvironment("SSH_AUTH_SOCK");
  if (e.sessionBus.empty() && !e.runtimeDir.empty() && e.runtimeDir.front() == u'/') {
    // The bus of a systemd user session, where the variable is not set.
    const std::string bus = PathToNative(e.runtimeDir) + "/bus";
    struct stat st;
    if (::stat(bus.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) e.sessionBus = NativeToPath("unix:path=" + bus);
  }
  return e;
}

bool InstalledByPackageManager(const Text& programPath) {
  if (programPath.empty()) return false;
  const std::string path = PathToNative(programPath);
  if (path.rfind("/usr/", 0) == 0) return true;
  return ::access(path.c_str(), W_OK) != 0;
}

void ApplyFileLocations(ProgramState& state, const DesktopEnvironment& environment, const FileLocations& locations,
                        bool lockedMode, const Text& programPath) {
  state.preferenceFolder = locations.preferenceFolder;
  state.workFolder = locations.workFolder;
  state.uploadHistory.SetPath(locations.historyFile);
  if (!locations.portable) {
    const std::size_t slash = programPath.rfind(u'/');
    if (slash != Text::npos) state.installFolder = programPath.substr(0, slash == 0 ? 1 : slash);
  }
  state.installedCopy = InstalledByPackageManager(programPath);
  state.sessionBus = !environment.sessionBus.empty();
  if (!lockedMode) state.keyring = OpenSecretServiceKeyring(environment.sessionBus);
  state.passwords = PasswordPlacement{state.keyring.get(), !locations.portable, {}, {}};
  // SFTP logs in with the user's agent and keys, and checks known_hosts.
  if (!environment.home.empty()) state.sftp.sshFolder = PathToNative(environment.home) + "/.ssh";
  state.sftp.agentSocket = PathToNative(environment.sshAgentSocket);
}

}  // namespace wexmoor
