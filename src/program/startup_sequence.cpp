#include "program/startup_sequence.h"

#include <iostream>
#include <string>
#include <unordered_set>

#include "platform/files.h"
#include "program/settings_reload.h"
#include "settings/settings_autosave.h"
#include "settings/settings_store.h"
#include "model/version.h"

namespace wexmoor {

Text CommandLinePathList(const std::vector<Text>& args) {
  Text list;
  for (const Text& arg : args) {
    if (arg.empty() || !PathExists(arg)) break;
    list += arg;
    list += u'\r';
  }
  return list;
}

namespace {

Text PreferencePath(const ProgramState& state, bool lockedMode) {
  Text name(PreferenceFileName(lockedMode));
  if (state.preferenceFolder.empty()) return name;
  Text path = state.preferenceFolder;
  if (path.back() != u'/') path += u'/';
  return path + name;
}

void Shutdown(ProgramState& state, StartupSeams& seams, SettingsAutosave& autosave) {
  autosave.Stop();  // one writer at a time: the save below is the last
  // An edit on disk since the last look is read before the last save, so
  // that it stays.
  autosave.ReloadIfChanged();
  if (std::optional<AppliedReload> applied = TakeSettingsReload(state))
    if (!applied->problems.empty()) seams.ReportSettingsProblems(applied->problems);
  state.autosave = nullptr;
  const bool locked = state.flags.lockedMode.load();
  std::optional<Text> serverListText = seams.ServerListText();
  seams.StoreWindowState(state.options);
  std::string error;
  const std::size_t delivered = state.delivered != nullptr ? state.delivered->Count() : 0;
  const std::vector<QueueEntry> entries = state.queue.Entries();
  if (!SaveSettings(state.preferenceFile, locked, state.servers, state.options, entries, serverListText,
                    state.random, &error, &state.delivery, &state.passwords, nullptr, &state.pause)) {
    // Said once: the autosave said it already when it failed the same way.
    if (error != autosave.LastError()) std::cerr << "Wexmoor: settings not saved: " << error << '\n';
    // The queue stays in the journal beside the file until a save succeeds.
    autosave.KeepQueueInJournal();
  } else if (state.delivered != nullptr) {
    // The worker still runs: a delivery written down just before the queue
    // was read keeps its line while the file still holds its entry.
    std::unordered_set<std::uint64_t> inFile;
    for (const QueueEntry& e : entries) inFile.insert(e.id);
    state.delivered->DropFirst(delivered, [&inFile](std::uint64_t id) { return inFile.contains(id); });
  }
  seams.TerminateWorker();
  seams.Disconnect();
  seams.CloseMainWindow();
}

}  // namespace

int RunProgram(ProgramState& state, StartupSeams& seams, const std::vector<Text>& args) {
  // The queue, the rings, the server table and the listener ports were made
  // empty with the program state.
  seams.DecodeProgramPictures();

  const bool locked = seams.ReadLockedZone(state.servers, state.options);
  state.flags.lockedMode = locked;

  state.preferenceFile = PreferencePath(state, locked);
  SettingsReadReport report;
  LoadSettings(state.preferenceFile, locked, state.servers, state.options, state.queue, state.addRing,
               &state.delivery, &state.passwords, &report, &state.pause);
  ApplyUploadLimits(state);
  // Entries delivered just before a crash are not sent again.
  DeliveredJournal delivered(DeliveredJournalPath(state.preferenceFile));
  // Entries added or removed while the file could not be written come back.
  delivered.DropDelivered(state.queue, state.removeRing, &state.delivery, &state.addRing);
  state.delivered = &delivered;
  struct Forget {
    ProgramState& state;
    ~Forget() {
      state.delivered = nullptr;
      state.autosave = nullptr;
    }
  } forget{state};
  const GlobalOptions loaded = state.options;

  if (!locked && !state.installedCopy && seams.ApplyPendingUpdate(state.options)) return 0;

  if (state.options.language.empty()) state.options.language = seams.ShowLanguageChooser();
  if (state.options.language.empty()) state.options.language = u"English";
  state.translator.SetLanguage(state.options.language);

  if (std::optional<ScreenSize> screen = seams.Screen()) {
    WindowPosition p =
        MainWindowPosition(state.options.windowX, state.options.windowY, screen->width, screen->height);
    state.options.windowX = p.x;
    state.options.windowY = p.y;
  }
  if (!seams.OpenMainWindow(WindowPosition{state.options.windowX, state.options.windowY})) return 1;
  if (!report.problems.empty()) seams.ReportSettingsProblems(report.problems);

  // From here on every change reaches the disk within about 2 s.
  SettingsAutosave autosave(AutosaveSources{state.preferenceFile, locked, state.servers, state.queue, state.delivery,
                                            state.clock, &state.passwords, &state.pause},
                            loaded, &delivered);
  autosave.SetKnownFile(report.identity);
  autosave.OfferOptions(state.options);  // a language chosen just now is a change
  autosave.Start();
  state.autosave = &autosave;
  seams.QueueCommandLine(CommandLinePathList(args));

  state.flags.lastProgressTime = state.clock.MonotonicSeconds();
  state.flags.quitRequested = false;
  seams.StartWorker();
  seams.StartUpdateCheck();

  if (seams.StartNetwork() != 1) state.ftp.Log().Append(kNetworkFailureLine);

  if (state.options.storedVersion != kVersionText && !locked) seams.ShowWelcome();

  seams.RunMainLoop();

  Shutdown(state, seams, autosave);
  return 0;
}

}  // namespace wexmoor
