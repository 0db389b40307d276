// The environment is read once, here; what the layers below get.
#include "program/program_services.h"

#include <gtest/gtest.h>

#include "program/settings_reload.h"
#include <stdlib.h>

#include <optional>
#include <string>

namespace wexmoor {
namespace {

// Sets (or with nullopt unsets) a variable for one test, restoring it after.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
  }
  ~ScopedVariable() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ProgramEnvironmentTest, SiteLosesBlanksAndTrailingSlashesAndTheSessionGetsTheEchoPage) {
  ScopedVariable site("WEXMOOR_SITE", "  http://127.0.0.1:8080//  ");
  ScopedVariable echo("WEXMOOR_IP_ECHO_URL", "http://127.0.0.1:8081/ip");
  const ProgramEnvironment environment = ReadProgramEnvironment();
  EXPECT_EQ(environment.site, u"http://127.0.0.1:8080");
  EXPECT_EQ(environment.ipEchoUrl, u"http://127.0.0.1:8081/ip");

  ProgramState state;
  EXPECT_EQ(state.ftp.ipEchoUrl(), u"") << "below program/ nothing reads the environment";
  ProgramServices services(state, environment);
  EXPECT_EQ(state.ftp.ipEchoUrl(), u"http://127.0.0.1:8081/ip");
}

TEST(ProgramEnvironmentTest, EmptyOrUnsetVariablesTakeTheBuildDefaults) {
  ScopedVariable site("WEXMOOR_SITE", "");
  ScopedVariable echo("WEXMOOR_IP_ECHO_URL", std::nullopt);
  const ProgramEnvironment environment = ReadProgramEnvironment();
  Text defaultSite = AsciiToText(WEXMOOR_TEST_DEFAULT_SITE);
  while (!defaultSite.empty() && defaultSite.back() == u'/') defaultSite.pop_back();
  EXPECT_EQ(environment.site, defaultSite);
  EXPECT_EQ(environment.ipEchoUrl, AsciiToText(WEXMOOR_TEST_DEFAULT_IP_ECHO_URL));
}

// A reload (an edit of the file, SIGHUP) brings the limits to the running
// sessions: the global one and each server's.
TEST(ProgramServicesTest, ReloadSetsTheUploadLimitsTheWorkerKeepsTo) {
  ProgramState state;
  ServerRecord slow;
  slow.name = u"slow";
  slow.uploadLimitKiB = 300;
  state.servers.Set(1, slow);
  ServerRecord free;
  free.name = u"free";
  state.servers.Set(2, free);
  ReloadedSettings reloaded;
  reloaded.options = GlobalOptions{};
  reloaded.options->uploadLimitKiB = 1000;
  ApplyReloadedSettings(state, reloaded);
  EXPECT_EQ(state.uploadLimits.EffectiveKiB(u"slow"), 300);
  EXPECT_EQ(state.uploadLimits.EffectiveKiB(u"free"), 1000);
  reloaded.options->uploadLimitKiB = 0;
  ApplyReloadedSettings(state, reloaded);
  EXPECT_EQ(state.uploadLimits.EffectiveKiB(u"free"), 0);
}

}  // namespace
}  // namespace wexmoor
