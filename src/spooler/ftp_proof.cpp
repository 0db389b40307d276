#include "spooler/ftp_proof.h"

namespace wexmoor {
namespace {
RemoteAnswer Answer(ProofReply reply, const Text& message) {
  switch (reply) {
    case ProofReply::kDone: return {RemoteReply::kDone, {}};
    case ProofReply::kRefused: return {RemoteReply::kRefused, message};
    case ProofReply::kUnsupported: return {RemoteReply::kUnsupported, message};
    case ProofReply::kGone: return {RemoteReply::kServerGone, message};
  }
  return {RemoteReply::kRefused, message};
}
}  // namespace

HashKind ToHashKind(FtpHashKind kind) {
  switch (kind) {
    case FtpHashKind::kCrc32: return HashKind::kCrc32;
    case FtpHashKind::kMd5: return HashKind::kMd5;
    case FtpHashKind::kSha1: return HashKind::kSha1;
    case FtpHashKind::kSha256: return HashKind::kSha256;
  }
  return HashKind::kCrc32;
}

FtpHashKind ToFtpHashKind(HashKind kind) {
  switch (kind) {
    case HashKind::kCrc32: return FtpHashKind::kCrc32;
    case HashKind::kMd5: return FtpHashKind::kMd5;
    case HashKind::kSha1: return FtpHashKind::kSha1;
    case HashKind::kSha256: return FtpHashKind::kSha256;
  }
  return FtpHashKind::kCrc32;
}

void AddProofOffers(const FtpProofFeatures& features, RemoteOffers& offers) {
  offers.hashes.clear();
  for (FtpHashKind kind : features.Kinds()) offers.hashes.push_back(ToHashKind(kind));
  offers.setTime = features.mfmt;
}

RemoteAnswer FtpHash(FtpSession& session, int connection, ServerRecord& server, FtpProofFeatures& features,
                     const Text& name, HashKind kind, std::string& hexDigest, StatusTarget* status) {
  Text message;
  const ProofReply reply =
      RemoteHash(session, connection, server, features, name, ToFtpHashKind(kind), hexDigest, message, status);
  if (reply == ProofReply::kGone && session.StopNoticed()) return {RemoteReply::kStopped, message};
  return Answer(reply, message);
}

RemoteAnswer FtpSetTime(FtpSession& session, int connection, ServerRecord& server,
                        const FtpProofFeatures& features, const Text& name, std::int64_t mtimeSeconds,
                        StatusTarget* status) {
  Text message;
  const ProofReply reply = SetRemoteTime(session, connection, server, features, name, mtimeSeconds, message, status);
  if (reply == ProofReply::kGone && session.StopNoticed()) return {RemoteReply::kStopped, message};
  return Answer(reply, message);
}

}  // namespace wexmoor
