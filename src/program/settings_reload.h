// Bringing an edit of the preference file into a running program: the
// autosave reads the changed file (its look every 2 s, before a save, or on
// SIGHUP); each host takes what it read on its next pass through
// TakeSettingsReload and then refreshes what shows or uses the options (the
// window its server list, both hosts their watch folders).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "i18n/language_translator.h"
#include "program/program_state.h"
#include "settings/settings_autosave.h"

namespace wexmoor {

struct AppliedReload {
  // The file was read: servers and options are the file's now.
  bool read = false;
  // The watch folders differ from those before: watchers start anew.
  bool watchFoldersChanged = false;
  // "Settings reloaded: 2 server(s), 1 watch folder(s)" when read.
  std::string summary;
  // The file set aside, unreadable or missing; lines not used.
  std::vector<std::string> problems;
};

// A line of AppliedReload::problems (or of a reading at start-up) in the
// translator's language; a line of no known form stays as it is.
Text TranslatedSettingsProblem(const std::string& line, const Translator& translator);

// Whether `servers` holds a server of that name now (for watch folders,
// whose files wait for their server).
std::function<bool(const Text&)> ServerExistsIn(const ServerTable& servers);

// Applies `reloaded` to the program's options (servers are in the table
// already). The program's language stays.
AppliedReload ApplyReloadedSettings(ProgramState& state, const ReloadedSettings& reloaded);

// Takes what the autosave read since the last call and applies it; nullopt
// when nothing was read (or no autosave runs). Call on the host's thread.
std::optional<AppliedReload> TakeSettingsReload(ProgramState& state);

}  // namespace wexmoor
