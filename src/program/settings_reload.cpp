#include "program/settings_reload.h"

#include "platform/code_page.h"
#include "settings/settings_store.h"

namespace wexmoor {

Text TranslatedSettingsProblem(const std::string& line, const Translator& translator) {
  const Text text = Utf8ToUtf16(line);
  for (const TextView form : kSettingsProblemForms)
    if (const std::optional<std::vector<Text>> values = MatchPlaceholders(form, text))
      return FillPlaceholders(translator.Translate(form), *values);
  return text;
}

std::function<bool(const Text&)> ServerExistsIn(const ServerTable& servers) {
  return [&servers](const Text& name) {
    const int slot = servers.FindServer(name);
    return !name.empty() && slot <= ServerTable::kMaxServers && servers.Get(slot).name == name;
  };
}

AppliedReload ApplyReloadedSettings(ProgramState& state, const ReloadedSettings& reloaded) {
  AppliedReload applied;
  applied.problems = reloaded.problems;
  if (!reloaded.options) return applied;
  GlobalOptions options = *reloaded.options;
  options.language = state.options.language;
  applied.read = true;
  applied.watchFoldersChanged = options.watchFolders != state.options.watchFolders;
  state.options = std::move(options);
  ApplyUploadLimits(state);
  applied.summary = "Settings reloaded: " + std::to_string(reloaded.servers) + " server(s), " +
                    std::to_string(state.options.watchFolders.size()) + " watch folder(s)";
  return applied;
}

std::optional<AppliedReload> TakeSettingsReload(ProgramState& state) {
  if (state.autosave == nullptr) return std::nullopt;
  std::optional<ReloadedSettings> reloaded = state.autosave->TakeReloaded();
  if (!reloaded) return std::nullopt;
  return ApplyReloadedSettings(state, *reloaded);
}

}  // namespace wexmoor
