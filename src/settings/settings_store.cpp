#include "settings/settings_store.h"

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

void LoadServers(const PreferenceFile& file, ServerTable& servers, PasswordPlacement* passwords) {
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
    if (record.protocol < kProtocolPlain || record.protocol > kProtocolLast) record.protocol = kProtocolPlain;
    record.fingerprint = file.ReadTextKey(Numbered(u"ServerFingerprint", n), u"");
    if (!record.name.empty() && file.ReadIntKey(Numbered(u"ServerPasswordInKeyring", n), 0) == 1)
      ReadFromKeyring(record, passwords);
    if (record.name.empty()) {
      // The first slot without a name ends the table.
      servers.Set(n, ServerRecord{});
      break;
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
      if (auto record = ParsePartRecord(part)) delivery->SetPart(*id, *record);
    }
    int slot = addRing.Put(entry, searchFrom);
    if (slot >= 0) searchFrom = slot + 1;
  }
}

void LoadWatchFolders(const PreferenceFile& file, GlobalOptions& options) {
  options.watchFolders.clear();
  for (long long i = 0;; ++i) {
    Text value = file.ReadTextKey(Numbered(u"WatchFolder", i), u"");
    if (value.empty()) break;
    // A value that is not a watch folder is passed over, as "File<i>" values are.
    if (auto setting = ParseWatchFolderValue(value)) options.watchFolders.push_back(std::move(*setting));
  }
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

}  // namespace

std::optional<WatchFolderSetting> ParseWatchFolderValue(TextView value) {
  std::size_t third = value.rfind(u'|');
  if (third == TextView::npos || third == 0) return std::nullopt;
  std::size_t second = value.rfind(u'|', third - 1);
  if (second == TextView::npos || second == 0) return std::nullopt;
  std::size_t first = value.rfind(u'|', second - 1);
  if (first == TextView::npos || first == 0) return std::nullopt;
  WatchFolderSetting setting;
  setting.folder = Text(value.substr(0, first));
  setting.server = Text(value.substr(first + 1, second - first - 1));
  setting.subfolder = Text(value.substr(second + 1, third - second - 1));
  setting.after = TextToInt(value.substr(third + 1)) == 1 ? 1 : 0;
  if (setting.server.empty()) return std::nullopt;
  return setting;
}

Text WatchFolderValue(const WatchFolderSetting& setting) {
  return setting.folder + u"|" + setting.server + u"|" + setting.subfolder + u"|" + IntToText(setting.after);
}

Text SentRecordPath(const Text& preferenceFile) {
  const std::size_t slash = preferenceFile.rfind(u'/');
  return (slash == Text::npos ? Text() : preferenceFile.substr(0, slash + 1)) + u"Wexmoor.sent";
}

void LoadSettings(const Text& fileName, bool lockedMode, ServerTable& servers, GlobalOptions& options,
                  UploadQueue& queue, UiMessageRing& addRing, DeliveryBook* delivery,
                  PasswordPlacement* passwords) {
  if (lockedMode) options.hideServerList = 1;
  PreferenceFile file;
  if (!file.OpenPreferenceFile(fileName)) return;
  if (!lockedMode) {
    LoadServers(file, servers, passwords);
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
  LoadWatchFolders(file, options);
  options.notifications = file.ReadIntKey(u"Notifications", 1);
  file.ClosePreferenceFile();
  if (options.defaultPort == 0) options.defaultPort = 21;
}

bool SaveSettings(const Text& fileName, bool lockedMode, const ServerTable& servers,
                  const GlobalOptions& options, const UploadQueue& queue,
                  const std::optional<Text>& serverListText, std::mt19937& random, std::string* error,
                  const DeliveryBook* delivery, PasswordPlacement* passwords) {
  return SaveSettings(fileName, lockedMode, servers, options, queue.Entries(), serverListText, random, error,
                      delivery, passwords);
}

bool SaveSettings(const Text& fileName, bool lockedMode, const ServerTable& servers,
                  const GlobalOptions& options, const std::vector<QueueEntry>& entries,
                  const std::optional<Text>& serverListText, std::mt19937& random, std::string* error,
                  const DeliveryBook* delivery, PasswordPlacement* passwords) {
  PreferenceFile file;
  if (!file.CreatePreferenceFile(fileName)) {
    if (error) *error = "cannot create " + PathToNative(fileName);
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
      if (!record.fingerprint.empty()) file.WriteTextKey(Numbered(u"ServerFingerprint", n), record.fingerprint);
    }
  }
  for (std::size_t i = 0; i < entries.size(); ++i)
    file.WriteTextKey(Numbered(u"File", static_cast<long long>(i)), entries[i].text);
  // Parts begun on the server, after the queue so that a reader of the queue
  // keys alone sees the same lines in the same order.
  if (delivery != nullptr) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const PartRecord part = delivery->Get(entries[i].id).part;
      if (part.Begun()) file.WriteTextKey(Numbered(u"FilePart", static_cast<long long>(i)), PartRecordText(part));
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
  // Written only when switched off, so a file with the default stays as before.
  if (options.notifications != 1) file.WriteIntKey(u"Notifications", options.notifications);
  if (!file.ClosePreferenceFile(error)) return false;
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
