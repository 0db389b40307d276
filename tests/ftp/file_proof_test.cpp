#include "ftp/file_proof.h"

#include "ftp/engine_fixture.h"

namespace wexmoor::testing {
namespace {

using ::testing::ElementsAre;
using K = FtpHashKind;

const std::string kSha256 = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
const std::string kSha1 = "a94a8fe5ccb19ba61c4c0873d391e987982fbbd3";

TEST(FileProofFeatures, ReadFromFeatLines) {
  struct Case {
    const char* feat;
    std::vector<K> hash;
    std::optional<K> selected;
    std::vector<K> x;
    bool mfmt;
    std::vector<K> kinds;
  } cases[] = {
      // The ProFTPD kind: HASH and the X commands.
      {"211-Features:\r\n HASH CRC32;MD5;SHA-1;SHA-256*;SHA-512\r\n XCRC\r\n XMD5\r\n XSHA\r\n XSHA1\r\n"
       " XSHA256\r\n XSHA512\r\n MFMT\r\n SIZE\r\n211 End",
       {K::kCrc32, K::kMd5, K::kSha1, K::kSha256}, K::kSha256, {K::kCrc32, K::kMd5, K::kSha1, K::kSha256}, true,
       {K::kCrc32, K::kMd5, K::kSha1, K::kSha256}},
      {"211-Extensions supported:\n hash sha-1*;md5\n mfmt\n211 END", {K::kMd5, K::kSha1}, K::kSha1, {}, true,
       {K::kMd5, K::kSha1}},  // any case, bare LF
      {"211-Features:\r\n XMD5\r\n XCRC\r\n211 End", {}, std::nullopt, {K::kCrc32, K::kMd5}, false,
       {K::kCrc32, K::kMd5}},
      {"211-Features:\r\n HASH SHA-512*;BLAKE\r\n EPSV\r\n UTF8\r\n211 End", {}, std::nullopt, {}, false, {}},
      {"211-Features:\r\n HASH\r\n MFMTX\r\n211 End", {}, std::nullopt, {}, false, {}},  // nothing named
      {"500 FEAT not understood", {}, std::nullopt, {}, false, {}},
      {"", {}, std::nullopt, {}, false, {}},
  };
  for (const Case& c : cases) {
    const FtpProofFeatures f = ParseProofFeatures(Utf8ToUtf16(c.feat));
    EXPECT_EQ(f.hashCommand, c.hash) << c.feat;
    EXPECT_EQ(f.hashSelected, c.selected) << c.feat;
    EXPECT_EQ(f.xCommands, c.x) << c.feat;
    EXPECT_EQ(f.mfmt, c.mfmt) << c.feat;
    EXPECT_EQ(f.Kinds(), c.kinds) << c.feat;
  }
}

TEST(FileProofReplies, DigestOnlyFromAWholeMatchingReply) {
  struct Case {
    std::string reply;
    K kind;
    bool x;  // an X command's reply
    std::optional<std::string> digest;
  } cases[] = {
      {"213 SHA-256 0-4 " + kSha256 + " a b.txt", K::kSha256, false, kSha256},
      {"213 sha-1 0-4 A94A8FE5CCB19BA61C4C0873D391E987982FBBD3 t.txt", K::kSha1, false, kSha1},  // lower-cased
      {"213 SHA-1 0-4 " + kSha1 + " t.txt", K::kSha256, false, std::nullopt},   // another kind
      {"213 SHA-256 5-9 " + kSha256 + " t.txt", K::kSha256, false, std::nullopt},  // a part only
      {"213 SHA-256 0-4 " + kSha256.substr(1) + " t.txt", K::kSha256, false, std::nullopt},  // too short
      {"213 SHA-256 0-4 " + kSha256.substr(1) + "g t.txt", K::kSha256, false, std::nullopt},  // not hex
      {"550 t.txt: No such file", K::kSha256, false, std::nullopt},
      {"213-Computing\r\n213 SHA-256 0-4 " + kSha256 + " t.txt", K::kSha256, false, kSha256},
      {"213 SHA-256", K::kSha256, false, std::nullopt},
      {"250 " + kSha256, K::kSha256, true, kSha256},
      {"213 " + kSha1 + " t.txt", K::kSha1, true, kSha1},
      {"250 t.txt " + kSha1, K::kSha1, true, kSha1},  // after the name
      {"250 d87f7e0c", K::kCrc32, true, std::string("d87f7e0c")},
      {"250 d87f7e0c", K::kMd5, true, std::nullopt},
      {"502 Command not implemented", K::kSha1, true, std::nullopt},
      {"", K::kSha1, true, std::nullopt},
  };
  for (const Case& c : cases) {
    const Text reply = Utf8ToUtf16(c.reply);
    EXPECT_EQ(c.x ? ParseXHashReply(reply, c.kind) : ParseHashReply(reply, c.kind), c.digest) << c.reply;
  }
}

TEST(FileProofTime, MfmtTakesUtc) {
  EXPECT_EQ(MfmtTime(0), u"19700101000000");
  EXPECT_EQ(MfmtTime(1'796'000'000), u"20261130005320");
  EXPECT_EQ(MfmtTime(951'782'400), u"20000229000000");
}

class FileProofTest : public EngineTest {
 protected:
  std::vector<std::string> AfterLogin() {
    std::vector<std::string> all = server.Commands();
    all.erase(all.begin(), all.begin() + std::min<std::size_t>(3, all.size()));
    return all;
  }
  ServerRecord record = Record();
  std::string digest;
  Text message;
};

TEST_F(FileProofTest, HashChoosesItsKindOnceThenAsks) {
  server.Greet().Login().Reply("OPTS HASH SHA-256", "200 SHA-256")
      .Reply("HASH a b.txt", "213 SHA-256 0-4 " + kSha256 + " a b.txt")
      .Reply("HASH c.txt", "213 SHA-256 0-4 " + kSha256 + " c.txt");
  server.Start();
  ASSERT_TRUE(LogIn(record));
  FtpProofFeatures f = ParseProofFeatures(u"211-F\r\n HASH SHA-1*;SHA-256\r\n211 E");
  EXPECT_EQ(RemoteHash(session, session.controlConnection(), record, f, u"a b.txt", K::kSha256, digest, message,
                       &status), ProofReply::kDone);
  EXPECT_EQ(digest, kSha256);
  EXPECT_EQ(f.hashSelected, K::kSha256);
  EXPECT_EQ(RemoteHash(session, session.controlConnection(), record, f, u"c.txt", K::kSha256, digest, message,
                       &status), ProofReply::kDone);
  ASSERT_TRUE(server.WaitFinished(3000));
  EXPECT_THAT(AfterLogin(), ElementsAre("OPTS HASH SHA-256", "HASH a b.txt", "HASH c.txt"));
}

TEST_F(FileProofTest, RefusedHashFallsBackToTheXCommand) {
  server.Greet().Login().Reply("HASH t.txt", "550 Not now").Reply("XSHA1 t.txt", "250 " + kSha1)
      .Reply("XMD5 t.txt", "550 t.txt: Permission denied").Reply("XSHA1 \"a b.txt\"", "250 " + kSha1);
  server.Start();
  ASSERT_TRUE(LogIn(record));
  FtpProofFeatures f = ParseProofFeatures(u"211-F\r\n HASH SHA-1*\r\n XSHA1\r\n XMD5\r\n211 E");
  EXPECT_EQ(RemoteHash(session, session.controlConnection(), record, f, u"t.txt", K::kSha1, digest, message, &status),
            ProofReply::kDone);
  EXPECT_EQ(digest, kSha1);
  EXPECT_EQ(RemoteHash(session, session.controlConnection(), record, f, u"t.txt", K::kMd5, digest, message, &status),
            ProofReply::kRefused);
  EXPECT_EQ(message, u"550 t.txt: Permission denied");
  EXPECT_EQ(RemoteHash(session, session.controlConnection(), record, f, u"t.txt", K::kCrc32, digest, message,
                       &status), ProofReply::kUnsupported);
  // A name that would smuggle a second command is never sent.
  EXPECT_EQ(RemoteHash(session, session.controlConnection(), record, f, u"t.txt\r\nDELE x", K::kSha1, digest, message,
                       &status), ProofReply::kRefused);
  // The X commands take offsets after the name: a space needs quotes.
  FtpProofFeatures xOnly = ParseProofFeatures(u"211-F\r\n XSHA1\r\n211 E");
  EXPECT_EQ(RemoteHash(session, session.controlConnection(), record, xOnly, u"a b.txt", K::kSha1, digest, message,
                       &status), ProofReply::kDone);
  EXPECT_EQ(RemoteHash(session, session.controlConnection(), record, xOnly, u"a \"b.txt", K::kSha1, digest, message,
                       &status), ProofReply::kUnsupported);
  ASSERT_TRUE(server.WaitFinished(3000));
  EXPECT_THAT(AfterLogin(), ElementsAre("HASH t.txt", "XSHA1 t.txt", "XMD5 t.txt", "XSHA1 \"a b.txt\""));
}

TEST_F(FileProofTest, MfmtSetsTheTimeAndALostServerSaysSo) {
  server.Greet().Login().Reply("MFMT 20261130005320 a.txt", "213 Modify=20261130005320; a.txt")
      .Reply("MFMT 20261130005320 b.txt", "550 Permission denied").Reply("XSHA256 c", "421 Bye").Close();
  server.Start();
  ASSERT_TRUE(LogIn(record));
  FtpProofFeatures f = ParseProofFeatures(u"211-F\r\n MFMT\r\n XSHA256\r\n211 E");
  const int c = session.controlConnection();
  EXPECT_EQ(SetRemoteTime(session, c, record, f, u"a.txt", 1'796'000'000, message, &status), ProofReply::kDone);
  EXPECT_EQ(SetRemoteTime(session, c, record, f, u"b.txt", 1'796'000'000, message, &status), ProofReply::kRefused);
  EXPECT_EQ(message, u"550 Permission denied");
  EXPECT_EQ(RemoteHash(session, c, record, f, u"c", K::kSha256, digest, message, &status), ProofReply::kGone);
  EXPECT_EQ(SetRemoteTime(session, c, record, FtpProofFeatures{}, u"a.txt", 1, message, &status),
            ProofReply::kUnsupported);
}

}  // namespace
}  // namespace wexmoor::testing
