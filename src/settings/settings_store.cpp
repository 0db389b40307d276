#include "settings/settings_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>

#include "platform/code_page.h"
#include "platform/files.h"
#include "settings/password_scrambling.h"
#include "settings/preference_file.h"
#include "model/version.h"

namespace wexmoor {

namespace {

Text Numbered(TextView key, long long n) { return Text(key) + IntToText(n); }

KeyringItem ItemOf(const ServerRecord& record) { return KeyringItem{record.name, record.address, record.login}; }

bool Contains(const std::vector<KeyringItem>& items, const KeyringItem& item) {
  for (const KeyringItem& i : items)
    if (i == item) return true;
  return false;
}

const Text* HeldPassword(const PasswordPlacement& passwords, const KeyringItem& item) {
  for (const auto& [held, password] : passwords.held)
    if (held == item) return &password;
  return nullptr;
}

void Hold(PasswordPlacement& passwords, const KeyringItem& item, const Text& password) {
  for (auto& [held, known] : passwords.held)
    if (held == item) {
      known = password;
      return;
    }
  passwords.held.emplace_back(item, password);
}

// A password the keyring can take: valid UTF-16 (no lone surrogate), since
// the keyring keeps UTF-8 text.
bool KeyringCanHold(const Text& password) {
  for (std::size_t i = 0; i < password.size(); ++i) {
    const char16_t c = password[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < password.size() && password[i + 1] >= 0xDC00 &&
        password[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) return false;
  }
  return true;
}

// The keyring's password for a record marked as kept there.
void ReadFromKeyring(ServerRecord& record, PasswordPlacement* passwords) {
  if (!passwords) return;
  const KeyringItem item = ItemOf(record);
  std::optional<Text> found;
  if (passwords->keyring && passwords->keyring->Healthy()) found = passwords->keyring->Lookup(item);
  if (found) {
    record.password = *found;
    Hold(*passwords, item, *found);
  } else {
    record.password.clear();
    passwords->unread.push_back(item);
  }
}

// A name an earlier slot has would send this server's files to that one:
// the later server becomes "name (2)" (or the next free number).
Text UniqueServerName(const ServerTable& servers, int slot, const Text& name) {
  auto taken = [&](const Text& candidate) {
    for (int s = 1; s < slot; ++s)
      if (servers.Get(s).name == candidate) return true;
    return false;
  };
  if (!taken(name)) return name;
  for (int number = 2;; ++number) {
    const Text candidate = name + u" (" + IntToText(number) + u")";
    if (!taken(candidate)) return candidate;
  }
}

void LoadServers(const PreferenceFile& file, ServerTable& servers, PasswordPlacement* passwords,
                 std::vector<Text>& renamed) {
  renamed.clear();
  for (int n = 1; n <= ServerTable::kMaxServers; ++n) {
    ServerRecord record;
    record.name = file.ReadTextKey(Numbered(u"ServerName", n), u"");
    record.address = file.ReadTextKey(Numbered(u"ServerAdress", n), u"");
    record.login = UnscrambleText(file.ReadTextKey(Numbered(u"ServerLogin", n), u""));
    record.password = UnscrambleText(file.ReadTextKey(Numbered(u"ServerPassword", n), u""));
    record.port = file.ReadIntKey(Numbered(u"ServerPort", n), 21);
    record.active = file.ReadIntKey(Numbered(u"ServerActive", n), 0);
    record.ipRouter = file.ReadIntKey(Numbered(u"ServerIPRouter", n), 0);
    record.useUtf8 = file.ReadIntKey(Numbered(u"ServerUseUTF8", n), 0);
    record.useUtf8Opt = file.ReadIntKey(Numbered(u"ServerUseUTF8opt", n), 0);
    record.timeOut = file.ReadIntKey(Numbered(u"ServerTimeOut", n), 0);
    record.tempName = file.ReadIntKey(Numbered(u"ServerTempName", n), 1);
    record.connections = file.ReadIntKey(Numbered(u"ServerConnections", n), ServerRecord::kDefaultConnections);
    record.protocol = file.ReadIntKey(Numbered(u"ServerProtocol", n), 0);
    record.uploadLimitKiB = std::max(0, file.ReadIntKey(Numbered(u"ServerUploadLimitKiB", n), 0));
    if (record.protocol < kProtocolPlain || record.protocol > kProtocolLast) record.protocol = kProtocolPlain;
    record.fingerprint = file.ReadTextKey(Numbered(u"ServerFingerprint", n), u"");
    record.webAddress = file.ReadTextKey(Numbered(u"ServerWebAddress", n), u"");
    record.verify = file.ReadIntKey(Numbered(u"ServerVerify", n), 1) == 0 ? 0 : 1;
    record.pipelining = file.ReadIntKey(Numbered(u"ServerPipelining", n), 1) == 0 ? 0 : 1;
    if (!record.name.empty() && file.ReadIntKey(Numbered(u"ServerPasswordInKeyring", n), 0) == 1)
      ReadFromKeyring(record, passwords);
    if (record.name.empty()) {
      // The first slot without a name ends the table.
      servers.Set(n, ServerRecord{});
      break;
    }
    const Text unique = UniqueServerName(servers, n, record.name);
    if (unique != record.name) {
      renamed.push_back(record.name);
      renamed.push_back(unique);
      record.name = unique;
    }
    servers.Set(n, record);
  }
}

void LoadQueue(const PreferenceFile& file, UploadQueue& queue, UiMessageRing& addRing, DeliveryBook* delivery) {
  int searchFrom = 0;
  for (long long i = 0; queue.Size() < UploadQueue::kCapacity; ++i) {
    Text entry = file.ReadTextKey(Numbered(u"File", i), u"");
    if (entry.empty()) break;
    // A value that is not an entry is passed over; the next index follows.
    if (entry.find(u'|') == Text::npos) continue;
    const std::optional<std::uint64_t> id = queue.Append(entry);
    if (!id) break;
    if (delivery != nullptr) {
      const Text part = file.ReadTextKey(Numbered(u"FilePart", i), u"");
      if (auto record = ParsePartRecord(part)) {
        // Whose part it is (older files have no such key: the part is then
        // nobody's, and the entry starts its own).
        ParsePartOwner(file.ReadTextKey(Numbered(u"FilePartOwner", i), u""), *record);
        delivery->SetPart(*id, *record);
      }
    }
    int slot = addRing.Put(entry, searchFrom);
    if (slot >= 0) searchFrom = slot + 1;
  }
}

bool HasServer(const ServerTable& servers, const Text& name) {
  const int slot = servers.FindServer(name);
  return slot <= ServerTable::kMaxServers && !name.empty() && servers.Get(slot).name == name;
}

void LoadWatchFolders(const PreferenceFile& file, const ServerTable& servers, bool lockedMode, GlobalOptions& options,
                      std::vector<std::string>& problems) {
  options.watchFolders.clear();
  options.unusableWatchFolders.clear();
  for (long long i = 0;; ++i) {
    const Text key = Numbered(u"WatchFolder", i);
    Text value = file.ReadTextKey(key, u"");
    if (value.empty()) break;
    // A value that is not a watch folder is kept as written and said.
    std::string reason;
    std::optional<WatchFolderSetting> setting = ParseWatchFolderValue(value, &reason);
    if (!setting) {
      problems.push_back(Utf16ToUtf8(key) + ": " + reason + "; not watched");
      options.unusableWatchFolders.push_back(std::move(value));
      continue;
    }
    // Watched all the same: its files wait until the server exists.
    if (!lockedMode && !HasServer(servers, setting->server))
      problems.push_back(SettingsProblem(kNoWatchServerProblem, {key, setting->server}));
    options.watchFolders.push_back(std::move(*setting));
  }
}

// "<name>.unreadable-<YYYYMMDD-HHMMSS>", local time.
Text SetAsideName(const Text& fileName) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  return fileName + u".unreadable-" + Utf8ToUtf16(stamp);
}

std::string FoldAscii(std::string_view key) {
  std::string folded(key);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  return folded;
}

// The lines of an existing file that are the user's own: comments, keys the
// program does not write, and every group with what it holds. Those before
// the first of the program's keys stay at the top (`leading`), the others
// follow the program's keys (`trailing`).
void SplitUserLines(const std::vector<PreferenceFile::Line>& lines, std::vector<PreferenceFile::Line>& leading,
                    std::vector<PreferenceFile::Line>& trailing);

constexpr std::string_view kSingleKeys[] = {"currentserver", "langue$",  "hideserverlist", "disableupdates",
                                            "fenetrex",      "fenetrey", "zipornot",       "portftp",
                                            "noversion",     "notifications",  "queuepaused", "uploadlimitkib"};

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// True when the record's password is (now) in the keyring and the file
// keeps only the marker.
bool SaveInKeyring(const ServerRecord& record, PasswordPlacement* passwords) {
  if (!passwords) return false;
  const KeyringItem item = ItemOf(record);
  // Still there from before, unread this run: keep pointing at it.
  if (record.password.empty() && Contains(passwords->unread, item)) return true;
  if (!passwords->saveToKeyring || !passwords->keyring || !passwords->keyring->Healthy()) return false;
  if (record.password.empty() || !KeyringCanHold(record.password)) return false;
  // Saves come every few seconds while a queue drains: ask the keyring only
  // when the password changed.
  if (const Text* held = HeldPassword(*passwords, item); held && *held == record.password) return true;
  if (!passwords->keyring->Store(item, record.password)) return false;
  Hold(*passwords, item, record.password);
  return true;
}

// After a save: forgets the keyring items no server of the table names any
// more (renamed, moved, new login, deleted). An item a server still names
// stays, even when its password now went to the file.
void ForgetUnnamed(const ServerTable& servers, PasswordPlacement* passwords) {
  if (!passwords || !passwords->keyring || !passwords->keyring->Healthy()) return;
  std::vector<KeyringItem> named;
  for (int n = 1; n <= ServerTable::kMaxServers; ++n) {
    const ServerRecord record = servers.Get(n);
    if (record.name.empty()) break;
    named.push_back(ItemOf(record));
  }
  std::erase_if(passwords->held, [&](const std::pair<KeyringItem, Text>& held) {
    if (Contains(named, held.first)) return false;
    return passwords->keyring->Remove(held.first);
  });
}

void SplitUserLines(const std::vector<PreferenceFile::Line>& lines, std::vector<PreferenceFile::Line>& leading,
                    std::vector<PreferenceFile::Line>& trailing) {
  bool inGroups = false;
  bool pastProgramKeys = false;
  for (const PreferenceFile::Line& line : lines) {
    if (line.kind == PreferenceFile::LineKind::kGroup) inGroups = true;
    if (!inGroups && line.kind == PreferenceFile::LineKind::kKey && ProgramOwnedKey(line.key)) {
      pastProgramKeys = true;
      continue;
    }
    (inGroups || pastProgramKeys ? trailing : leading).push_back(line);
  }
}

}  // namespace

std::optional<WatchFolderSetting> ParseWatchFolderValue(TextView value, std::string* reason) {
  const auto fail = [reason](const char* why) -> std::optional<WatchFolderSetting> {
    if (reason) *reason = why;
    return std::nullopt;
  };
  constexpr const char* kForm = "not of the form folder|server|subfolder|after";
  std::size_t third = value.rfind(u'|');
  if (third == TextView::npos || third == 0) return fail(kForm);
  std::size_t second = value.rfind(u'|', third - 1);
  if (second == TextView::npos || second == 0) return fail(kForm);
  std::size_t first = value.rfind(u'|', second - 1);
  if (first == TextView::npos) return fail(kForm);
  if (first == 0) return fail("no folder");
  WatchFolderSetting setting;
  setting.folder = Text(value.substr(0, first));
  setting.server = Text(value.substr(first + 1, second - first - 1));
  setting.subfolder = Text(value.substr(second + 1, third - second - 1));
  TextView after = value.substr(third + 1);
  while (!after.empty() && after.front() == u' ') after.remove_prefix(1);
  while (!after.empty() && after.back() == u' ') after.remove_suffix(1);
  if (after != u"0" && after != u"1") return fail("'after' must be 0 or 1");
  setting.after = after == u"1" ? 1 : 0;
  if (setting.server.empty()) return fail("no server name");
  return setting;
}

bool ProgramOwnedKey(std::string_view key) {
  const std::string folded = FoldAscii(key);
  for (std::string_view single : kSingleKeys)
    if (folded == single) return true;
  const std::size_t digits = folded.find_last_not_of("0123456789") + 1;
  if (digits == folded.size() || !AllDigits(std::string_view(folded).substr(digits))) return false;
  const std::string_view stem = std::string_view(folded).substr(0, digits);
  if (stem == "file" || stem == "filepart" || stem == "watchfolder") return true;
  // Every per-server key: "Server" and a name of letters and digits (ending
  // in a letter), then the server's number.
  if (stem.size() > 6 && stem.substr(0, 6) == "server")
    return std::all_of(stem.begin() + 6, stem.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); });
  return false;
}

Text WatchFolderValue(const WatchFolderSetting& setting) {
  return setting.folder + u"|" + setting.server + u"|" + setting.subfolder + u"|" + IntToText(setting.after);
}

Text SentRecordPath(const Text& preferenceFile) {
  const std::size_t slash = preferenceFile.rfind(u'/');
  return (slash == Text::npos ? Text() : preferenceFile.substr(0, slash + 1)) + u"Wexmoor.sent";
}

std::string SettingsProblem(TextView form, const std::vector<Text>& values) {
  return Utf16ToUtf8(FillPlaceholders(form, values));
}

void LoadSettings(const Text& fileName, bool lockedMode, ServerTable& servers, GlobalOptions& options,
                  UploadQueue& queue, UiMessageRing& addRing, DeliveryBook* delivery,
                  PasswordPlacement* passwords, SettingsReadReport* report, QueuePause* pause) {
  SettingsReadReport ignored;
  if (report == nullptr) report = &ignored;
  *report = SettingsReadReport{};
  if (lockedMode) options.hideServerList = 1;
  PreferenceFile file;
  const bool opened = file.OpenPreferenceFile(fileName);
  report->outcome = file.LastRead();
  if (!opened) {
    if (report->outcome == PreferenceFile::ReadOutcome::kNotPreferences) {
      const Text aside = SetAsideName(fileName);
      if (RenamePath(fileName, aside)) {
        report->setAside = aside;
        report->problems.push_back(SettingsProblem(kSetAsideProblem, {fileName, aside}));
      } else {
        report->problems.push_back(SettingsProblem(kNotRenamedProblem, {fileName}));
      }
    } else if (report->outcome == PreferenceFile::ReadOutcome::kCannotRead) {
      report->problems.push_back(SettingsProblem(kCannotReadProblem, {fileName}));
    }
    return;
  }
  report->identity = file.ReadIdentity();
  if (!lockedMode) {
    LoadServers(file, servers, passwords, options.renamedServers);
    options.hideServerList = file.ReadIntKey(u"HideServerList", 0);
    options.currentServer = file.ReadTextKey(u"CurrentServer", u"");
  }
  LoadQueue(file, queue, addRing, delivery);
  options.language = file.ReadTextKey(u"Langue$", u"");
  options.disableUpdates = file.ReadIntKey(u"DisableUpdates", 0);
  options.windowX = file.ReadIntKey(u"FenetreX", 0);
  options.windowY = file.ReadIntKey(u"FenetreY", 0);
  options.zipBeforeUpload = file.ReadIntKey(u"ZipOrNot", 0);
  options.defaultPort = file.ReadIntKey(u"PortFTP", 21);
  options.storedVersion = file.ReadTextKey(u"NoVersion", u"");
  LoadWatchFolders(file, servers, lockedMode, options, report->problems);
  options.notifications = file.ReadIntKey(u"Notifications", 1);
  if (pause != nullptr) {
    if (file.ReadIntKey(u"QueuePaused", 0) == 1) pause->SetAll(true);
    for (int n = 1; n <= ServerTable::kMaxServers; ++n) {
      const Text name = servers.Get(n).name;
      if (name.empty()) break;
      if (file.ReadIntKey(Numbered(u"ServerPaused", n), 0) == 1) pause->SetServer(name, true);
    }
  }
  options.uploadLimitKiB = std::max(0, file.ReadIntKey(u"UploadLimitKiB", 0));
  file.ClosePreferenceFile();
  if (options.defaultPort == 0) options.defaultPort = 21;
}

bool SaveSettings(const Text& fileName, bool lockedMode, const ServerTable& servers,
                  const GlobalOptions& options, const UploadQueue& queue,
                  const std::optional<Text>& serverListText, std::mt19937& random, std::string* error,
                  const DeliveryBook* delivery, PasswordPlacement* passwords, FileIdentity* written,
                  const QueuePause* pause) {
  return SaveSettings(fileName, lockedMode, servers, options, queue.Entries(), serverListText, random, error,
                      delivery, passwords, written, pause);
}

bool SaveSettings(const Text& fileName, bool lockedMode, const ServerTable& servers,
                  const GlobalOptions& options, const std::vector<QueueEntry>& entries,
                  const std::optional<Text>& serverListText, std::mt19937& random, std::string* error,
                  const DeliveryBook* delivery, PasswordPlacement* passwords, FileIdentity* written,
                  const QueuePause* pause) {
  PreferenceFile file;
  const std::string native = PathToNative(fileName);
  // The file's own lines stay; the program's keys are written anew.
  std::vector<PreferenceFile::Line> leading, trailing;
  if (PathExists(fileName)) {
    // Made read-only by its owner (whoever runs the program, root too).
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0) {
      if (error) *error = SettingsProblem(kReadOnlyProblem, {fileName});
      return false;
    }
    PreferenceFile old;
    if (!old.OpenPreferenceFile(fileName)) {
      if (error)
        *error = native + (old.LastRead() == PreferenceFile::ReadOutcome::kCannotRead
                               ? " cannot be read; it is not replaced"
                               : " is not a preference file; it is not replaced");
      return false;
    }
    SplitUserLines(old.Lines(), leading, trailing);
  }
  if (!file.CreatePreferenceFile(fileName)) {
    if (error) *error = "cannot create " + native;
    return false;
  }
  if (!lockedMode) {
    for (int n = 1; n <= ServerTable::kMaxServers; ++n) {
      ServerRecord record = servers.Get(n);
      if (record.name.empty()) break;
      file.WriteTextKey(Numbered(u"ServerName", n), record.name);
      file.WriteTextKey(Numbered(u"ServerAdress", n), record.address);
      file.WriteTextKey(Numbered(u"ServerLogin", n), record.login);
      const bool inKeyring = SaveInKeyring(record, passwords);
      file.WriteTextKey(Numbered(u"ServerPassword", n), ScrambleText(inKeyring ? Text() : record.password, random));
      if (inKeyring) file.WriteIntKey(Numbered(u"ServerPasswordInKeyring", n), 1);
      file.WriteIntKey(Numbered(u"ServerPort", n), record.port);
      file.WriteIntKey(Numbered(u"ServerActive", n), record.active);
      file.WriteIntKey(Numbered(u"ServerIPRouter", n), record.ipRouter);
      file.WriteIntKey(Numbered(u"ServerUseUTF8", n), record.useUtf8);
      file.WriteIntKey(Numbered(u"ServerUseUTF8opt", n), record.useUtf8Opt);
      file.WriteIntKey(Numbered(u"ServerTimeOut", n), record.timeOut);
      file.WriteIntKey(Numbered(u"ServerTempName", n), record.tempName);
      file.WriteIntKey(Numbered(u"ServerConnections", n), record.connections);
      // Written only when set, so a plain server's lines stay as they were.
      if (record.protocol != kProtocolPlain) file.WriteIntKey(Numbered(u"ServerProtocol", n), record.protocol);
      if (record.uploadLimitKiB > 0) file.WriteIntKey(Numbered(u"ServerUploadLimitKiB", n), record.uploadLimitKiB);
      if (!record.fingerprint.empty()) file.WriteTextKey(Numbered(u"ServerFingerprint", n), record.fingerprint);
      if (!record.webAddress.empty()) file.WriteTextKey(Numbered(u"ServerWebAddress", n), record.webAddress);
      if (record.verify != 1) file.WriteIntKey(Numbered(u"ServerVerify", n), record.verify);
      if (record.pipelining != 1) file.WriteIntKey(Numbered(u"ServerPipelining", n), record.pipelining);
    }
  }
  for (std::size_t i = 0; i < entries.size(); ++i)
    file.WriteTextKey(Numbered(u"File", static_cast<long long>(i)), entries[i].text);
  // Parts begun on the server, after the queue so that a reader of the queue
  // keys alone sees the same lines in the same order.
  if (delivery != nullptr) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const PartRecord part = delivery->Get(entries[i].id).part;
      if (!part.Begun()) continue;
      file.WriteTextKey(Numbered(u"FilePart", static_cast<long long>(i)), PartRecordText(part));
      if (!part.token.empty())
        file.WriteTextKey(Numbered(u"FilePartOwner", static_cast<long long>(i)), PartOwnerText(part));
    }
  }
  file.WriteTextKey(u"CurrentServer", serverListText ? *serverListText : options.currentServer);
  file.WriteTextKey(u"Langue$", options.language);
  file.WriteIntKey(u"HideServerList", options.hideServerList);
  file.WriteIntKey(u"DisableUpdates", options.disableUpdates);
  file.WriteIntKey(u"FenetreX", options.windowX);
  file.WriteIntKey(u"FenetreY", options.windowY);
  file.WriteIntKey(u"ZipOrNot", options.zipBeforeUpload);
  file.WriteIntKey(u"PortFTP", options.defaultPort);
  file.WriteTextKey(u"NoVersion", kVersionText);
  long long w = 0;
  for (const WatchFolderSetting& setting : options.watchFolders) {
    if (setting.folder.empty()) continue;  // an empty value would end the list
    file.WriteTextKey(Numbered(u"WatchFolder", w++), WatchFolderValue(setting));
  }
  for (const Text& value : options.unusableWatchFolders)
    if (!value.empty()) file.WriteTextKey(Numbered(u"WatchFolder", w++), value);
  // Written only when switched off, so a file with the default stays as before.
  if (options.notifications != 1) file.WriteIntKey(u"Notifications", options.notifications);
  // Written only while paused, like the notifications.
  if (pause != nullptr) {
    if (pause->All()) file.WriteIntKey(u"QueuePaused", 1);
    for (int n = 1; n <= ServerTable::kMaxServers; ++n) {
      const Text name = servers.Get(n).name;
      if (name.empty()) break;
      if (pause->Server(name)) file.WriteIntKey(Numbered(u"ServerPaused", n), 1);
    }
  }
  if (options.uploadLimitKiB > 0) file.WriteIntKey(u"UploadLimitKiB", options.uploadLimitKiB);
  file.AddLines(leading, true);
  file.AddLines(trailing, false);
  if (!file.ClosePreferenceFile(error, written)) return false;
  if (!lockedMode) ForgetUnnamed(servers, passwords);
  return true;
}

WindowPosition MainWindowPosition(int windowX, int windowY, int screenWidth, int screenHeight) {
  WindowPosition p{windowX, windowY};
  if (p.x == 0) p.x = (screenWidth - kMainWindowWidth) / 2;
  if (p.y == 0) p.y = (screenHeight - kMainWindowHeight) / 2;
  if (p.x + kMainWindowWidth > screenWidth) p.x = screenWidth - kMainWindowWidth;
  if (p.y + kMainWindowHeight > screenHeight) p.y = screenHeight - kMainWindowHeight;
  return p;
}

}  // namespace wexmoor
