// Loading and saving the program's settings: the server table, the options
// and the upload queue, kept in the preference file between runs.
#pragma once

#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "model/delivery_book.h"
#include "platform/text.h"
#include "model/upload_queue.h"
#include "model/global_options.h"
#include "model/queue_pause.h"
#include "model/server_table.h"
#include "model/ui_message_ring.h"
#include "settings/file_identity.h"
#include "settings/password_keyring.h"
#include "settings/preference_file.h"

namespace wexmoor {

// Where server passwords go. Without a keyring they stay in the preference
// file, scrambled, as always. With one, "ServerPasswordInKeyring<n> = 1"
// says the password is in the keyring and "ServerPassword<n>" holds the
// scrambled empty text.
struct PasswordPlacement {
  // The keyring, when a Secret Service runs; read from in every set-up.
  PasswordKeyring* keyring = nullptr;
  // Passwords are saved to the keyring (the desktop set-up), while it works.
  bool saveToKeyring = false;
  // Filled by LoadSettings: servers whose password is in the keyring but
  // could not be read. Saving keeps pointing there while the table still
  // holds such a server with an empty password, so nothing is lost.
  std::vector<KeyringItem> unread;
  // What the keyring holds for this program as far as this run knows (read
  // at load, stored by a save). A save stores only what differs, and forgets
  // the items of servers renamed or deleted since.
  std::vector<std::pair<KeyringItem, Text>> held;
};

// The forms of the lines a reading of the preference file reports ("%1" the
// file, "%2" the name it was kept as, or the watch folder's key and server),
// so that a window can say them in the user's language.
inline constexpr TextView kSetAsideProblem =
    u"%1 could not be read as settings; it was kept as %2 and the settings start anew";
inline constexpr TextView kNotRenamedProblem =
    u"%1 could not be read as settings and could not be renamed; it is left as it is";
inline constexpr TextView kCannotReadProblem = u"%1 cannot be read; the settings are not saved while it stays so";
inline constexpr TextView kMissingProblem = u"%1 is missing; the settings are written anew";
inline constexpr TextView kNoWatchServerProblem = u"%1: no server named \"%2\"; its files wait until there is one";
inline constexpr TextView kReadOnlyProblem = u"%1 is read-only; settings cannot be saved";
inline constexpr TextView kSettingsProblemForms[] = {kSetAsideProblem, kNotRenamedProblem, kCannotReadProblem,
                                                      kMissingProblem,  kNoWatchServerProblem, kReadOnlyProblem};
// One such line, as UTF-8.
std::string SettingsProblem(TextView form, const std::vector<Text>& values);

// What reading the preference file found.
struct SettingsReadReport {
  PreferenceFile::ReadOutcome outcome = PreferenceFile::ReadOutcome::kMissing;
  // The file as read (nullopt when none was read).
  std::optional<FileIdentity> identity;
  // Where a file that could not be read as preferences was moved
  // ("<name>.unreadable-<YYYYMMDD-HHMMSS>"); empty when none was.
  Text setAside;
  // One line for each thing the user should hear of: the file set aside or
  // unreadable, "WatchFolder<i>" lines that are not used, and why.
  std::vector<std::string> problems;
};

// Fills the server table (unless `lockedMode`), the options and the queue
// from `fileName`; each queued entry also goes to `addRing` so the main loop
// lists it. A missing file or key leaves the defaults. In `lockedMode` the
// server keys, "HideServerList" and "CurrentServer" are not read, and
// hideServerList is 1.
// With `delivery`, the part an entry had begun ("FilePart" + the entry's
// index, "size|mtime") goes back to the entry.
// A file that is there but is not preferences (NUL bytes, no key, group or
// comment line) is renamed to "<name>.unreadable-<YYYYMMDD-HHMMSS>" and the
// defaults stay; `report` says so.
// With `pause`, "QueuePaused = 1" pauses the queue and "ServerPaused<n> = 1"
// the server in slot n (of the table as it stands after the load).
void LoadSettings(const Text& fileName, bool lockedMode, ServerTable& servers, GlobalOptions& options,
                  UploadQueue& queue, UiMessageRing& addRing, DeliveryBook* delivery = nullptr,
                  PasswordPlacement* passwords = nullptr, SettingsReadReport* report = nullptr,
                  QueuePause* pause = nullptr);

// Writes the model into the file. The file's own lines stay: comments, keys
// the program does not know and groups are kept where they are; the
// program's keys take their values, and those of its keys that the model no
// longer has (a server, a queued entry, a watch folder fewer) go. Passwords
// are stored scrambled (the table keeps them plain). "CurrentServer" is
// `serverListText` when the server list exists, otherwise
// options.currentServer. A file made read-only, one that cannot be read and
// one that is not preferences are not replaced. Returns false when nothing
// could be saved; the old file is then intact and `error` (when given) says
// why. `written` takes the identity of the file as written. The queue keys
// are written in the queue's order, "File0" up. With `pause`, a paused
// queue and paused servers are written ("QueuePaused = 1",
// "ServerPaused<n> = 1"; nothing while they are not paused).
bool SaveSettings(const Text& fileName, bool lockedMode, const ServerTable& servers,
                  const GlobalOptions& options, const UploadQueue& queue,
                  const std::optional<Text>& serverListText, std::mt19937& random,
                  std::string* error = nullptr, const DeliveryBook* delivery = nullptr,
                  PasswordPlacement* passwords = nullptr, FileIdentity* written = nullptr,
                  const QueuePause* pause = nullptr);
// The same with the queue's entries taken beforehand, so the caller knows
// exactly which entries the file holds.
bool SaveSettings(const Text& fileName, bool lockedMode, const ServerTable& servers,
                  const GlobalOptions& options, const std::vector<QueueEntry>& entries,
                  const std::optional<Text>& serverListText, std::mt19937& random,
                  std::string* error = nullptr, const DeliveryBook* delivery = nullptr,
                  PasswordPlacement* passwords = nullptr, FileIdentity* written = nullptr,
                  const QueuePause* pause = nullptr);

// True for the keys the program writes itself ("ServerName3", "File12",
// "Langue$" …; any letter case): a save removes those it did not write.
bool ProgramOwnedKey(std::string_view keyUtf8);

// "WatchFolder<i>" values: folder "|" server "|" subfolder "|" after. The
// last three fields are taken from the right, so only the folder may hold a
// "|"; "after" is 0 or 1. nullopt for a value that is not of that form;
// `reason` (when given) then says what is wrong.
std::optional<WatchFolderSetting> ParseWatchFolderValue(TextView value, std::string* reason = nullptr);
Text WatchFolderValue(const WatchFolderSetting& setting);

// The watch folders' sent record: "Wexmoor.sent" beside the preference file.
Text SentRecordPath(const Text& preferenceFile);

// The main window's top-left corner for the stored position: 0 centres the
// window on that axis, a window past the right or bottom edge is pulled back
// onto the screen; negative positions stay.
struct WindowPosition {
  int x = 0;
  int y = 0;
};
inline constexpr int kMainWindowWidth = 210;
inline constexpr int kMainWindowHeight = 300;
WindowPosition MainWindowPosition(int windowX, int windowY, int screenWidth, int screenHeight);

}  // namespace wexmoor
