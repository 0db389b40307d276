#include "sftp/host_key_trust.h"

#include <gtest/gtest.h>
#include <libssh2.h>

#include <cstring>

namespace wexmoor {
namespace {

constexpr const char* kKeyA = "AAAAC3NzaC1lZDI1NTE5AAAAII2rhZjxATYLtr13sBWSEEpb5/08kZ1Lg4u1QWLcS5XY";
constexpr const char* kKeyB = "AAAAC3NzaC1lZDI1NTE5AAAAIEn83A2dBHCV3Esg8mn9iNiYij7DLlZhZW97nRyi9uoB";
constexpr const char* kEcdsa =
    "AAAAE2VjZHNhLXNoYTItbmlzdHAyNTYAAAAIbmlzdHAyNTYAAABBBJ+mToRjLvXeWLR4EDi8WChgBSljzUtGRJPO+An2PnIrubO040ZyUp0FUX"
    "itjb/fYgpqLoRoxVBi6dOLLWYc0K0=";
// "[127.0.0.1]:2222" with key A, hashed by ssh-keygen -H.
constexpr const char* kHashedA =
    "|1|P/kBSYe17ERcM/VbjvmQYxEgrFw=|Mgz1GiR4yufXgHGAAH/xEZbndf8= ssh-ed25519 "
    "AAAAC3NzaC1lZDI1NTE5AAAAII2rhZjxATYLtr13sBWSEEpb5/08kZ1Lg4u1QWLcS5XY";

std::string Decode64(std::string_view text) {
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const char* at = c != '\0' ? std::strchr(alphabet, c) : nullptr;
    if (at == nullptr) break;
    bits = (bits << 6) | static_cast<std::uint32_t>(at - alphabet);
    if ((count += 6) >= 8) out += static_cast<char>((bits >> (count -= 8)) & 0xff);
  }
  return out;
}

TEST(HostKeyTrust, Base64AndFingerprintsInOpenSshForm) {
  EXPECT_EQ(Base64NoPadding(""), "");
  EXPECT_EQ(Base64NoPadding("f"), "Zg");
  EXPECT_EQ(Base64NoPadding("fo"), "Zm8");
  EXPECT_EQ(Base64NoPadding("foo"), "Zm9v");
  EXPECT_EQ(Base64NoPadding("foob"), "Zm9vYg");
  EXPECT_EQ(Base64NoPadding("\xff\xfe\x00"), "//4");  // '+' and '/' of the standard alphabet
  EXPECT_EQ(Base64NoPadding(std::string("\xfb\xff\xbf", 3)), "+/+/");
  EXPECT_EQ(OpenSshFingerprint(std::string(32, '\0')), "SHA256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");

  const std::string fp = "SHA256:cmCbzpMdGfhXDcOLpIBgDjIDNmvu1EFEiurDlRP8WnM";
  EXPECT_TRUE(FingerprintMatches(u"SHA256:cmCbzpMdGfhXDcOLpIBgDjIDNmvu1EFEiurDlRP8WnM", fp));
  EXPECT_TRUE(FingerprintMatches(u"  sha256:cmCbzpMdGfhXDcOLpIBgDjIDNmvu1EFEiurDlRP8WnM=\t", fp));
  EXPECT_TRUE(FingerprintMatches(u"cmCbzpMdGfhXDcOLpIBgDjIDNmvu1EFEiurDlRP8WnM", fp));
  EXPECT_FALSE(FingerprintMatches(u"SHA256:CMCBZPMDGFHXDCOLPIBGDJIDNMVU1EFEIURDLRP8WNM", fp));  // base64 has case
  EXPECT_FALSE(FingerprintMatches(u"", fp));
  EXPECT_FALSE(FingerprintMatches(u"SHA256:", "SHA256:"));
  EXPECT_FALSE(FingerprintMatches(u"SHA256:cmCbzpMdGfhXDcOLpIBgDjIDNmvu1EFEiurDlRP8Wn", fp));  // a prefix
}

class KnownHosts : public ::testing::Test {
 protected:
  void SetUp() override { session_ = libssh2_session_init(); }
  void TearDown() override { libssh2_session_free(session_); }
  HostKeyVerdict Check(const std::string& text, int port, const char* key,
                       int type = LIBSSH2_HOSTKEY_TYPE_ED25519) {
    return CheckKnownHosts(session_, text, "127.0.0.1", port, Decode64(key), type);
  }
  LIBSSH2_SESSION* session_ = nullptr;
};

TEST_F(KnownHosts, PortDecidesTheNameAndKeysAreComparedPerType) {
  EXPECT_EQ(KnownHostsName("example", 22), "example");
  EXPECT_EQ(KnownHostsName("127.0.0.1", 2222), "[127.0.0.1]:2222");
  const std::string plain22 = std::string("127.0.0.1 ssh-ed25519 ") + kKeyA + "\n";
  EXPECT_EQ(Check(plain22, 22, kKeyA), HostKeyVerdict::kKnown);
  EXPECT_EQ(Check(plain22, 22, kKeyB), HostKeyVerdict::kChanged);
  // An entry for port 22 says nothing about another port.
  EXPECT_EQ(Check(plain22, 2222, kKeyA), HostKeyVerdict::kUnknown);
  EXPECT_EQ(Check(plain22, 2222, kKeyB), HostKeyVerdict::kUnknown);
  const std::string ported = std::string("[127.0.0.1]:2222 ssh-ed25519 ") + kKeyA + "\n";
  EXPECT_EQ(Check(ported, 2222, kKeyA), HostKeyVerdict::kKnown);
  EXPECT_EQ(Check(ported, 2223, kKeyA), HostKeyVerdict::kUnknown);
  EXPECT_EQ(Check(ported, 2222, kKeyB), HostKeyVerdict::kChanged);
  // Only a key of another type known: not a change, just unknown.
  const std::string ecdsaOnly = std::string("[127.0.0.1]:2222 ecdsa-sha2-nistp256 ") + kEcdsa + "\n";
  EXPECT_EQ(Check(ecdsaOnly, 2222, kKeyA), HostKeyVerdict::kUnknown);
  EXPECT_EQ(Check(ecdsaOnly + ported, 2222, kKeyA), HostKeyVerdict::kKnown);
  EXPECT_EQ(Check(ecdsaOnly, 2222, kEcdsa, LIBSSH2_HOSTKEY_TYPE_ECDSA_256), HostKeyVerdict::kKnown);
}

TEST_F(KnownHosts, HashedListedAndCommentedLines) {
  EXPECT_EQ(Check(std::string(kHashedA) + "\n", 2222, kKeyA), HostKeyVerdict::kKnown);
  EXPECT_EQ(Check(std::string(kHashedA) + "\n", 2222, kKeyB), HostKeyVerdict::kChanged);
  // Hashed names of another shape are passed over (libssh2 would lose
  // memory on them): the good line after them still counts.
  const std::string oddHashes = std::string("|1|P9|P9 ssh-ed25519 ") + kKeyA + "\n|1|" + std::string(28, 'A') +
                                "|x ssh-ed25519 " + kKeyA + "\n|2|abc ssh-ed25519 " + kKeyA + "\n" + kHashedA;
  EXPECT_EQ(Check(oddHashes, 2222, kKeyA), HostKeyVerdict::kKnown);
  EXPECT_EQ(Check(oddHashes, 2222, kKeyB), HostKeyVerdict::kChanged);
  const std::string list = std::string("other,[127.0.0.1]:2222,x ssh-ed25519 ") + kKeyA + " comment\r\n";
  EXPECT_EQ(Check(list, 2222, kKeyA), HostKeyVerdict::kKnown);
  // Garbage, comments and markers around a good line do not hide it.
  const std::string noisy = std::string("# [127.0.0.1]:2222 ssh-ed25519 ") + kKeyB + "\n\n   \n" +
                            "@revoked [127.0.0.1]:2222 ssh-ed25519 " + kKeyB + "\n" + "garbage\n" +
                            "[127.0.0.1]:2222 ssh-ed25519 !!!notbase64\n" + std::string(70000, 'x') + "\n" +
                            "  [127.0.0.1]:2222 ssh-ed25519 " + kKeyA;
  EXPECT_EQ(Check(noisy, 2222, kKeyA), HostKeyVerdict::kKnown);
  EXPECT_EQ(Check("", 2222, kKeyA), HostKeyVerdict::kUnknown);
  EXPECT_EQ(Check(noisy, 2222, kKeyA, 99), HostKeyVerdict::kUnknown);  // a key type we cannot name
}

}  // namespace
}  // namespace wexmoor
