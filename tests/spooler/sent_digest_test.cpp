#include "spooler/sent_digest.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "peers/test_paths.h"

namespace wexmoor {
namespace {

// Counts what passes through, and may hold everything back.
struct Counting final : TransferObserver {
  bool BeforeBlock(std::size_t) override { return allow; }
  void AfterBlock(const char*, std::size_t size) override { bytes += size; }
  bool allow = true;
  std::size_t bytes = 0;
};

TEST(SentDigest, EveryKindOfTheBytesSentHoweverTheyAreCut) {
  const std::string text = "The quick brown fox jumps over the lazy dog";
  struct Case {
    HashKind kind;
    const char* digest;
    const char* name;
  } cases[] = {
      {HashKind::kSha256, "d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592", "sha256"},
      {HashKind::kSha1, "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12", "sha1"},
      {HashKind::kMd5, "9e107d9d372bb6826bd81d3542a419d6", "md5"},
      {HashKind::kCrc32, "414fa339", "crc32"},
  };
  for (const Case& c : cases) {
    for (std::size_t cut : {std::size_t{1}, std::size_t{7}, text.size()}) {
      Counting next;
      SentDigest digest(c.kind, &next);
      EXPECT_TRUE(digest.WantsBytes());
      for (std::size_t at = 0; at < text.size(); at += cut) {
        ASSERT_TRUE(digest.BeforeBlock(cut));
        digest.AfterBlock(text.data() + at, std::min(cut, text.size() - at));
      }
      EXPECT_EQ(digest.HexDigest(), c.digest) << c.name << " cut " << cut;
      EXPECT_EQ(next.bytes, text.size());
    }
    EXPECT_EQ(VerificationText(c.kind, c.digest), AsciiToText(std::string(c.name) + ":" + c.digest));
  }
  Counting holding;
  holding.allow = false;
  SentDigest held(HashKind::kSha256, &holding);
  EXPECT_FALSE(held.BeforeBlock(10));  // the limit behind it still decides
}

TEST(SentDigest, AResumedPartTakesTheUnsentBeginningFromTheFile) {
  testing::TempFolder dir;
  const std::string path = dir.File("f.txt");
  const std::string text = "The quick brown fox jumps over the lazy dog";
  std::ofstream(path) << text;
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  SentDigest digest(HashKind::kSha256);
  digest.AfterBlock("stale bytes of a failed attempt", 31);
  ASSERT_TRUE(digest.Restart(fd, 16));  // 16 bytes were on the server already
  digest.AfterBlock(text.data() + 16, text.size() - 16);
  EXPECT_EQ(digest.HexDigest(), "d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592");
  EXPECT_FALSE(digest.Restart(fd, 1000));  // past the end of the file
  ::close(fd);
}

TEST(SentDigest, TheStrongestOfferedKindIsChosen) {
  RemoteOffers offers;
  EXPECT_FALSE(StrongestHash(offers).has_value());
  offers.hashes = {HashKind::kMd5, HashKind::kSha256, HashKind::kCrc32};
  EXPECT_EQ(StrongestHash(offers), HashKind::kSha256);
  offers.hashes = {HashKind::kCrc32, HashKind::kSha1};
  EXPECT_EQ(StrongestHash(offers), HashKind::kSha1);
}

}  // namespace
}  // namespace wexmoor
