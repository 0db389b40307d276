#include "locked/locked_settings_block.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "locked/locked_zones.h"

namespace wexmoor {
namespace {

std::span<const volatile unsigned char> AsArea(const std::vector<unsigned char>& bytes) {
  return {bytes.data(), bytes.size()};
}

ServerRecord Server(const char16_t* name, const char16_t* address, const char16_t* login,
                    const char16_t* password, int port) {
  ServerRecord record;
  record.name = name;
  record.address = address;
  record.login = login;
  record.password = password;
  record.port = port;
  record.active = 1;
  record.ipRouter = 0;
  record.useUtf8 = 1;
  record.useUtf8Opt = 0;
  record.timeOut = -7;
  return record;
}

class LockedSettingsBlockTest : public ::testing::Test {
 protected:
  std::vector<unsigned char> area = std::vector<unsigned char>(kLockedSettingsAreaBytes, 0);
  std::mt19937 random{1234};
  Translator translator;
  ServerTable servers;
  GlobalOptions options;
};

TEST_F(LockedSettingsBlockTest, ZeroFlagIsNotLockedAndChangesNothing) {
  area[1] = 'x';
  EXPECT_FALSE(ReadLockedSettings(AsArea(area), servers, options));
  EXPECT_FALSE(ReadLockedSettings({}, servers, options));
  EXPECT_EQ(servers.Count(), 0);
  EXPECT_EQ(options.hideServerList, 0);
}

TEST_F(LockedSettingsBlockTest, RecordRoundTripsWithEveryFieldAndScrambledTexts) {
  // Lone surrogate and non-Latin characters must survive the block as well.
  ServerRecord server = Server(u"Home", u"ftp.example.org/pub/\u0416", u"me\xD800", u"secret", 2121);
  Text message;
  ASSERT_TRUE(WriteLockedSettings(area, EncodeLockedSettings(server, random), translator, message));
  EXPECT_EQ(area[0], 1);

  // Only the name stands in plain in the block.
  std::string raw(area.begin(), area.end());
  EXPECT_NE(raw.find(std::string("H\0o\0m\0e\0", 8)), std::string::npos);
  EXPECT_EQ(raw.find(std::string("s\0e\0c\0r\0e\0t\0", 12)), std::string::npos);

  ASSERT_TRUE(ReadLockedSettings(AsArea(area), servers, options));
  ServerRecord read = servers.Get(1);
  EXPECT_EQ(read.name, server.name);
  EXPECT_EQ(read.address, server.address);
  EXPECT_EQ(read.login, server.login);
  EXPECT_EQ(read.password, server.password);
  EXPECT_EQ(read.port, 2121);
  EXPECT_EQ(read.active, 1);
  EXPECT_EQ(read.useUtf8, 1);
  EXPECT_EQ(read.timeOut, -7);
  EXPECT_EQ(servers.Count(), 1);
  EXPECT_EQ(options.currentServer, u"Home");
  EXPECT_EQ(options.hideServerList, 1);
}

TEST_F(LockedSettingsBlockTest, ConnectionSettingsTravelWithTheRecordWhenNotTheDefaults) {
  // A server that needs TLS must not turn into a plain one in the copy.
  ServerRecord tls = Server(u"Secure", u"127.0.0.1/in", u"me", u"pw", 990);
  tls.protocol = kProtocolImplicitTls;
  tls.tempName = 0;
  tls.connections = 4;
  tls.fingerprint = u"AA:BB:CC";
  std::string block;
  for (const ServerRecord& r : {tls, tls}) {
    std::string one = EncodeLockedSettings(r, random);
    block += block.empty() ? one : one.substr(1);
  }
  Text message;
  ASSERT_TRUE(WriteLockedSettings(area, block, translator, message));
  EXPECT_EQ(area[0], 2);
  ASSERT_TRUE(ReadLockedSettings(AsArea(area), servers, options));
  ASSERT_EQ(servers.Count(), 2);
  for (int slot : {1, 2}) {
    const ServerRecord read = servers.Get(slot);
    EXPECT_EQ(read.password, u"pw");
    EXPECT_EQ(read.protocol, kProtocolImplicitTls);
    EXPECT_EQ(read.tempName, 0);
    EXPECT_EQ(read.connections, 4);
    EXPECT_EQ(read.fingerprint, u"AA:BB:CC");
  }
  // Defaults keep the first layout, byte for byte.
  EXPECT_EQ(EncodeLockedSettings(Server(u"Plain", u"h", u"l", u"p", 21), random)[0], 1);
}

TEST_F(LockedSettingsBlockTest, EmptyLoginAndPasswordRoundTripAsEmpty) {
  std::string block = EncodeLockedSettings(Server(u"Anon", u"127.0.0.1", u"", u"", 21), random);
  // Flag, name, scrambled address (4 * 9 + 14 units), two scrambled empty
  // texts (14 units), six integers: no padding anywhere.
  EXPECT_EQ(block.size(), 1 + 10 + 102 + 2 * 30 + 24u);
  Text message;
  ASSERT_TRUE(WriteLockedSettings(area, block, translator, message));
  ASSERT_TRUE(ReadLockedSettings(AsArea(area), servers, options));
  EXPECT_EQ(servers.Get(1).login, u"");
  EXPECT_EQ(servers.Get(1).password, u"");
}

TEST_F(LockedSettingsBlockTest, SeveralRecordsGiveSeveralServersAndTheLastIsCurrent) {
  std::string block;
  for (const char16_t* name : {u"first", u"second", u"third"}) {
    std::string one = EncodeLockedSettings(Server(name, u"h", u"l", u"p", 21), random);
    block += block.empty() ? one : one.substr(1);  // one flag byte for the whole block
  }
  Text message;
  ASSERT_TRUE(WriteLockedSettings(area, block, translator, message));
  ASSERT_TRUE(ReadLockedSettings(AsArea(area), servers, options));
  EXPECT_EQ(servers.Names(), (std::vector<Text>{u"first", u"second", u"third"}));
  EXPECT_EQ(options.currentServer, u"third");
}

TEST_F(LockedSettingsBlockTest, RecordThatDoesNotFitIsRefusedAndNothingIsWritten) {
  // 4 * 100 + 14 units per scrambled text: the three of them take 2,500 bytes.
  Text longText(100, u'a');
  std::string block = EncodeLockedSettings(Server(u"big", longText.c_str(), longText.c_str(), u"", 21), random);
  area.assign(area.size(), 0xAB);
  Text message;
  EXPECT_FALSE(WriteLockedSettings(area, block, translator, message));
  EXPECT_NE(message.find(u"1344"), Text::npos);
  EXPECT_NE(message.find(IntToText(static_cast<long long>(block.size() + 2))), Text::npos);
  EXPECT_EQ(area, std::vector<unsigned char>(area.size(), 0xAB));

  // The largest block that fits leaves exactly room for the closing empty name.
  std::string fits(kLockedSettingsAreaBytes - 2, '\1');
  EXPECT_TRUE(WriteLockedSettings(area, fits, translator, message));
  EXPECT_EQ(area[kLockedSettingsAreaBytes - 2], 0);
  EXPECT_EQ(area[kLockedSettingsAreaBytes - 1], 0);
  EXPECT_FALSE(WriteLockedSettings(area, fits + '\1', translator, message));
}

TEST_F(LockedSettingsBlockTest, DamagedBlocksEndTheTableWithinTheArea) {
  // No terminator anywhere: nothing but the flag is taken.
  area.assign(area.size(), 0xFF);
  ASSERT_TRUE(ReadLockedSettings(AsArea(area), servers, options));
  EXPECT_EQ(servers.Count(), 0);
  EXPECT_EQ(options.hideServerList, 1);

  // A record cut short by the end of the area is dropped, the one before kept.
  std::string good = EncodeLockedSettings(Server(u"kept", u"h", u"l", u"p", 21), random);
  std::vector<unsigned char> shortArea(good.begin(), good.end());
  for (unsigned char c : std::string("c\0u\0t\0\0\0", 8)) shortArea.push_back(c);
  shortArea.resize(shortArea.size() + 10, 'z');
  ServerTable table;
  GlobalOptions opts;
  ASSERT_TRUE(ReadLockedSettings(AsArea(shortArea), table, opts));
  EXPECT_EQ(table.Names(), std::vector<Text>{u"kept"});
  EXPECT_EQ(opts.currentServer, u"kept");

  // Random bytes from a fixed seed, odd sizes included: never more than 50
  // servers, never a read outside the area (the sanitizers watch that).
  // Half the rounds damage a real block of three records instead.
  std::string valid;
  for (const char16_t* name : {u"a", u"b", u"c"}) {
    std::string one = EncodeLockedSettings(Server(name, u"host", u"l", u"p", 21), random);
    valid += valid.empty() ? one : one.substr(1);
  }
  std::mt19937 noise(20261208);
  for (int round = 0; round < 3000; ++round) {
    std::vector<unsigned char> bytes;
    if (round % 2 == 0) {
      bytes.assign(valid.begin(), valid.end());
      for (int flips = 1 + static_cast<int>(noise() % 4); flips > 0; --flips) {
        bytes[noise() % bytes.size()] = static_cast<unsigned char>(noise());
      }
      bytes.resize(noise() % (bytes.size() + 1));
    } else {
      bytes.resize(noise() % (kLockedSettingsAreaBytes + 1));
      const int zeroShare = static_cast<int>(noise() % 8);
      for (auto& b : bytes) b = (static_cast<int>(noise() % 8) < zeroShare) ? 0 : static_cast<unsigned char>(noise());
    }
    if (!bytes.empty()) bytes[0] |= 1;
    ServerTable randomTable;
    GlobalOptions randomOptions;
    ASSERT_EQ(ReadLockedSettings(AsArea(bytes), randomTable, randomOptions), !bytes.empty());
    ASSERT_LE(randomTable.Count(), ServerTable::kMaxServers);
    if (randomTable.Count() > 0) {
      ASSERT_EQ(randomOptions.currentServer, randomTable.Names().back());
    }
  }
}

}  // namespace
}  // namespace wexmoor
