// Passwords between the preference file and the keyring, with a fake keyring.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "settings/password_scrambling.h"
#include "settings/preference_file.h"
#include "settings/settings_store.h"

namespace wexmoor {
namespace {

using testing::TempFolder;

class FakeKeyring : public PasswordKeyring {
 public:
  bool Store(const KeyringItem& item, const Text& password) override {
    if (failStores) {
      healthy = false;
      return false;
    }
    ++stores;
    items[Key(item)] = password;
    return true;
  }
  std::optional<Text> Lookup(const KeyringItem& item) override {
    auto it = items.find(Key(item));
    if (it == items.end()) return std::nullopt;
    return it->second;
  }
  bool Remove(const KeyringItem& item) override {
    ++removes;
    items.erase(Key(item));
    return true;
  }
  bool Healthy() const override { return healthy; }

  static Text Key(const KeyringItem& i) { return i.server + u'\n' + i.address + u'\n' + i.login; }
  std::map<Text, Text> items;
  bool failStores = false;
  bool healthy = true;
  int stores = 0;
  int removes = 0;
};

struct Model {
  ServerTable servers;
  GlobalOptions options;
  UploadQueue queue;
  UiMessageRing addRing;
  std::mt19937 random{5};
  PasswordPlacement passwords;

  void Load(const std::string& path) {
    LoadSettings(Utf8ToUtf16(path), false, servers, options, queue, addRing, nullptr, &passwords);
  }
  void Save(const std::string& path) {
    ASSERT_TRUE(SaveSettings(Utf8ToUtf16(path), false, servers, options, queue, std::nullopt, random, nullptr,
                             nullptr, &passwords));
  }
};

ServerRecord Server(const Text& name, const Text& password) {
  ServerRecord r;
  r.name = name;
  r.address = u"127.0.0.1/" + name;
  r.login = u"user";
  r.password = password;
  return r;
}

std::map<std::string, Text> Keys(const std::string& path) {
  PreferenceFile file;
  file.OpenPreferenceFile(Utf8ToUtf16(path));
  std::map<std::string, Text> keys;
  for (const auto& line : file.Lines()) keys[line.key] = Utf8ToUtf16(line.value);
  return keys;
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(PasswordPlacement, DesktopSetUpKeepsPasswordsInTheKeyringOnly) {
  TempFolder dir;
  const std::string prefs = dir.File("Wexmoor.prefs");
  FakeKeyring keyring;
  Model m;
  m.passwords = {&keyring, true, {}, {}};
  m.servers.Set(1, Server(u"One", u"s3cret-one"));
  m.servers.Set(2, Server(u"Two", u""));  // nothing to keep
  m.Save(prefs);

  std::map<std::string, Text> keys = Keys(prefs);
  EXPECT_EQ(keys["ServerPasswordInKeyring1"], Text(u"1"));
  EXPECT_EQ(UnscrambleText(keys["ServerPassword1"]), Text());
  EXPECT_EQ(keys.count("ServerPasswordInKeyring2"), 0u);
  EXPECT_EQ(keyring.items[FakeKeyring::Key({u"One", u"127.0.0.1/One", u"user"})], Text(u"s3cret-one"));
  EXPECT_EQ(Bytes(prefs).find("s3cret"), std::string::npos);

  Model again;
  again.passwords = {&keyring, true, {}, {}};
  again.Load(prefs);
  EXPECT_EQ(again.servers.Get(1).password, Text(u"s3cret-one"));
  EXPECT_TRUE(again.passwords.unread.empty());
}

TEST(PasswordPlacement, MovingEitherWayAtTheNextSaveLosesNoPassword) {
  TempFolder dir;
  const std::string prefs = dir.File("Wexmoor.prefs");
  FakeKeyring keyring;

  // File → keyring: a scrambled password from an older save moves over.
  Model old;
  old.servers.Set(1, Server(u"One", u"from-file"));
  old.Save(prefs);
  Model desktop;
  desktop.passwords = {&keyring, true, {}, {}};
  desktop.Load(prefs);
  desktop.Save(prefs);
  EXPECT_EQ(Keys(prefs)["ServerPasswordInKeyring1"], Text(u"1"));

  // Keyring → file (the portable set-up reads the keyring, writes the file).
  Model portable;
  portable.passwords = {&keyring, false, {}, {}};
  portable.Load(prefs);
  EXPECT_EQ(portable.servers.Get(1).password, Text(u"from-file"));
  portable.Save(prefs);
  EXPECT_EQ(Keys(prefs).count("ServerPasswordInKeyring1"), 0u);
  EXPECT_EQ(UnscrambleText(Keys(prefs)["ServerPassword1"]), Text(u"from-file"));
}

TEST(PasswordPlacement, UnreadableKeyringKeepsItsMarkUntilThePasswordIsChanged) {
  TempFolder dir;
  const std::string prefs = dir.File("Wexmoor.prefs");
  FakeKeyring keyring;
  Model first;
  first.passwords = {&keyring, true, {}, {}};
  first.servers.Set(1, Server(u"One", u"kept"));
  first.servers.Set(2, Server(u"Two", u"kept-too"));
  first.Save(prefs);

  // No Secret Service this time: the passwords cannot be read, and saving
  // must not replace them with the empty text.
  Model blind;
  blind.Load(prefs);
  EXPECT_EQ(blind.servers.Get(1).password, Text());
  ASSERT_EQ(blind.passwords.unread.size(), 2u);
  ServerRecord changed = blind.servers.Get(2);
  changed.password = u"new-in-file";
  blind.servers.Set(2, changed);
  blind.Save(prefs);
  std::map<std::string, Text> keys = Keys(prefs);
  EXPECT_EQ(keys["ServerPasswordInKeyring1"], Text(u"1"));
  EXPECT_EQ(keys.count("ServerPasswordInKeyring2"), 0u);
  EXPECT_EQ(UnscrambleText(keys["ServerPassword2"]), Text(u"new-in-file"));

  // With the keyring back, the first password is there again.
  Model back;
  back.passwords = {&keyring, true, {}, {}};
  back.Load(prefs);
  EXPECT_EQ(back.servers.Get(1).password, Text(u"kept"));
  EXPECT_EQ(back.servers.Get(2).password, Text(u"new-in-file"));
}

TEST(PasswordPlacement, FailingKeyringFallsBackToTheFile) {
  TempFolder dir;
  const std::string prefs = dir.File("Wexmoor.prefs");
  FakeKeyring keyring;
  keyring.failStores = true;
  Model m;
  m.passwords = {&keyring, true, {}, {}};
  m.servers.Set(1, Server(u"One", u"p1"));
  m.servers.Set(2, Server(u"Two", u"p2"));
  // A lone surrogate cannot go through the keyring's UTF-8 either.
  m.servers.Set(3, Server(u"Three", Text(u"x") + char16_t(0xD800)));
  m.Save(prefs);
  std::map<std::string, Text> keys = Keys(prefs);
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(keys.count("ServerPasswordInKeyring" + std::to_string(n)), 0u);
  EXPECT_EQ(UnscrambleText(keys["ServerPassword2"]), Text(u"p2"));
  EXPECT_EQ(UnscrambleText(keys["ServerPassword3"]), Text(u"x") + char16_t(0xD800));
  EXPECT_EQ(keyring.stores, 0);

  FakeKeyring healthy;
  m.passwords = {&healthy, true, {}, {}};
  m.Save(prefs);
  EXPECT_EQ(healthy.stores, 2);  // not the lone surrogate
  EXPECT_EQ(Keys(prefs).count("ServerPasswordInKeyring3"), 0u);
}

TEST(PasswordPlacement, KeyringHearsOnlyOfChangesAndForgetsServersThatAreGone) {
  TempFolder dir;
  const std::string prefs = dir.File("Wexmoor.prefs");
  FakeKeyring keyring;
  Model m;
  m.passwords = {&keyring, true, {}, {}};
  m.servers.Set(1, Server(u"One", u"p1"));
  m.servers.Set(2, Server(u"Two", u"p2"));
  m.Save(prefs);
  ASSERT_EQ(keyring.stores, 2);
  // The saves of a draining queue: the passwords did not change.
  for (int i = 0; i < 5; ++i) m.Save(prefs);
  EXPECT_EQ(keyring.stores, 2);

  // Renamed: stored under the new name, the old item forgotten.
  ServerRecord renamed = m.servers.Get(1);
  renamed.name = u"Uno";
  m.servers.Set(1, renamed);
  m.Save(prefs);
  EXPECT_EQ(keyring.stores, 3);
  EXPECT_EQ(keyring.items.count(FakeKeyring::Key({u"One", u"127.0.0.1/One", u"user"})), 0u);
  EXPECT_EQ(keyring.items[FakeKeyring::Key({u"Uno", u"127.0.0.1/One", u"user"})], Text(u"p1"));

  // Deleted (a fresh start that read it from the keyring deletes it).
  Model next;
  next.passwords = {&keyring, true, {}, {}};
  next.Load(prefs);
  next.servers.DeleteServer(2);
  next.Save(prefs);
  EXPECT_EQ(keyring.items.count(FakeKeyring::Key({u"Two", u"127.0.0.1/Two", u"user"})), 0u);
  EXPECT_EQ(keyring.items.size(), 1u);
  EXPECT_EQ(keyring.stores, 3);  // what was read at the start is not stored again
}

}  // namespace
}  // namespace wexmoor
