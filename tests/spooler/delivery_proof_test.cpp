#include "spooler/delivery_proof.h"
#include "spooler/ftp_proof.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wexmoor {
namespace {

// A server that answers Hash and SetTime as told, and records the asking.
class ScriptedRemote final : public RemoteFiles {
 public:
  RemoteOffers Offers() const override { return offers; }
  RemoteAnswer Size(const Text&, std::int64_t&) override { return {}; }
  RemoteAnswer Write(const Text&, int, std::int64_t, std::int64_t, TransferObserver&, ProgressTarget*) override {
    return {};
  }
  RemoteAnswer Rename(const Text&, const Text&) override { return {}; }
  RemoteAnswer Remove(const Text&) override { return {}; }
  RemoteAnswer SetTime(const Text& name, std::int64_t mtime) override {
    asked.push_back(u"time " + name + u" " + IntToText(mtime));
    return timeAnswer;
  }
  RemoteAnswer Hash(const Text& name, HashKind, std::string& hex) override {
    asked.push_back(u"hash " + name);
    hex = digest;
    return hashAnswer;
  }
  RemoteOffers offers;
  RemoteAnswer hashAnswer, timeAnswer;
  std::string digest;
  std::vector<Text> asked;
};

struct Lines final : StatusTarget {
  void SetStatusText(const Text& line) override { lines.push_back(line); }
  std::vector<Text> lines;
};

constexpr char kFoxSha256[] = "d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592";

TEST(DeliveryProof, TheServersDigestDecides) {
  const std::string fox = "The quick brown fox jumps over the lazy dog";
  struct Case {
    RemoteAnswer answer;
    std::string digest;
    bool digestSent;
    ProofOutcome outcome;
    Text verification;
    Text message;
  } cases[] = {
      {{RemoteReply::kDone, {}}, kFoxSha256, true, ProofOutcome::kMatched, Text(u"sha256:") + AsciiToText(kFoxSha256),
       u""},
      {{RemoteReply::kDone, {}}, std::string(64, '0'), true, ProofOutcome::kMismatch, u"size", kHashMismatch},
      {{RemoteReply::kRefused, u"550 busy"}, "", true, ProofOutcome::kSizeOnly, u"size", u""},
      {{RemoteReply::kUnsupported, {}}, "", true, ProofOutcome::kSizeOnly, u"size", u""},
      {{RemoteReply::kServerGone, u"421 bye"}, "", true, ProofOutcome::kServerGone, u"size", u"421 bye"},
      {{RemoteReply::kStopped, {}}, "", true, ProofOutcome::kStopped, u"size", u""},
      {{RemoteReply::kDone, {}}, kFoxSha256, false, ProofOutcome::kSizeOnly, u"size", u""},  // nothing hashed
  };
  for (const Case& c : cases) {
    ScriptedRemote remote;
    remote.hashAnswer = c.answer;
    remote.digest = c.digest;
    SentDigest sent(HashKind::kSha256);
    sent.AfterBlock(fox.data(), fox.size());
    Lines status;
    const DeliveryProof proof = ProveDelivery(remote, u"a b.txt", c.digestSent ? &sent : nullptr, &status);
    EXPECT_EQ(proof.outcome, c.outcome) << c.digest;
    EXPECT_EQ(proof.verification, c.verification);
    EXPECT_EQ(proof.message, c.message);
    EXPECT_EQ(remote.asked.size(), c.digestSent ? 1u : 0u);
    if (c.outcome == ProofOutcome::kMismatch) {
      ASSERT_EQ(status.lines.size(), 1u);
      EXPECT_NE(status.lines[0].find(u"hash mismatch"), Text::npos);
    }
  }
}

TEST(DeliveryProof, TheDigestSentIsTheStrongestOfferedUnlessVerifyIsOff) {
  RemoteOffers offers;
  EXPECT_FALSE(DigestToSend(offers, 1).has_value());
  offers.hashes = {HashKind::kCrc32, HashKind::kSha256, HashKind::kMd5};
  EXPECT_EQ(DigestToSend(offers, 1), HashKind::kSha256);
  EXPECT_FALSE(DigestToSend(offers, 0).has_value());
}

TEST(DeliveryProof, ARefusedTimeIsLoggedNeverAFailure) {
  struct Case {
    bool offered;
    RemoteReply reply;
    bool goesOn;
    std::size_t asked;
    std::size_t logged;
  } cases[] = {
      {true, RemoteReply::kDone, true, 1, 0},        {true, RemoteReply::kRefused, true, 1, 1},
      {true, RemoteReply::kUnsupported, true, 1, 0}, {true, RemoteReply::kServerGone, false, 1, 0},
      {false, RemoteReply::kDone, true, 0, 0},
  };
  for (const Case& c : cases) {
    ScriptedRemote remote;
    remote.offers.setTime = c.offered;
    remote.timeAnswer = {c.reply, u"550 not allowed"};
    Lines status;
    EXPECT_EQ(SetDeliveredTime(remote, u"f.txt", 1'500'000'000, &status), c.goesOn);
    EXPECT_EQ(remote.asked.size(), c.asked);
    EXPECT_EQ(status.lines.size(), c.logged);
    if (c.asked == 1) {
      EXPECT_EQ(remote.asked[0], u"time f.txt 1500000000");
    }
  }
}

TEST(DeliveryProof, WhatFeatOffersBecomesTheOffers) {
  RemoteOffers offers;
  offers.hashes = {HashKind::kMd5};
  AddProofOffers(ParseProofFeatures(u"211-F\r\n HASH SHA-1*;SHA-256\r\n XCRC\r\n MFMT\r\n211 E"), offers);
  EXPECT_EQ(offers.hashes, (std::vector<HashKind>{HashKind::kCrc32, HashKind::kSha1, HashKind::kSha256}));
  EXPECT_TRUE(offers.setTime);
  EXPECT_EQ(DigestToSend(offers, 1), HashKind::kSha256);
  AddProofOffers(ParseProofFeatures(u"211-F\r\n SIZE\r\n211 E"), offers);  // vsftpd: size only
  EXPECT_TRUE(offers.hashes.empty());
  EXPECT_FALSE(offers.setTime);
  for (HashKind kind : {HashKind::kCrc32, HashKind::kMd5, HashKind::kSha1, HashKind::kSha256})
    EXPECT_EQ(ToHashKind(ToFtpHashKind(kind)), kind);
}

}  // namespace
}  // namespace wexmoor
