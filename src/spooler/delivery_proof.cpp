#include "spooler/delivery_proof.h"

namespace wexmoor {
namespace {
void Say(StatusTarget* status, const Text& line) {
  if (status != nullptr) status->SetStatusText(line);
}
}  // namespace

std::optional<HashKind> DigestToSend(const RemoteOffers& offers, int verify) {
  if (verify == 0) return std::nullopt;
  return StrongestHash(offers);
}

DeliveryProof ProveDelivery(RemoteFiles& remote, const Text& finalName, const SentDigest* sent, StatusTarget* status) {
  DeliveryProof proof;
  if (sent == nullptr) return proof;
  std::string serverDigest;
  const RemoteAnswer answer = remote.Hash(finalName, sent->Kind(), serverDigest);
  const Text kind = AsciiToText(DigestName(sent->Kind()));
  switch (answer.reply) {
    case RemoteReply::kDone:
      break;
    case RemoteReply::kServerGone:
      proof.outcome = ProofOutcome::kServerGone;
      proof.message = answer.message;
      return proof;
    case RemoteReply::kStopped:
      proof.outcome = ProofOutcome::kStopped;
      return proof;
    default:
      // Refused or not offered after all: the size check stands.
      Say(status, u"----- No " + kind + u" from the server (" + answer.message + u"): size checked only");
      return proof;
  }
  const std::string sentDigest = sent->HexDigest();
  if (serverDigest != sentDigest) {
    proof.outcome = ProofOutcome::kMismatch;
    proof.message = kHashMismatch;
    Say(status, u"!!--- " + Text(kHashMismatch) + u": " + kind + u" sent " + AsciiToText(sentDigest) +
                    u", server " + AsciiToText(serverDigest));
    return proof;
  }
  proof.outcome = ProofOutcome::kMatched;
  proof.verification = VerificationText(sent->Kind(), sentDigest);
  Say(status, u"----- " + kind + u" matched: " + AsciiToText(sentDigest));
  return proof;
}

bool SetDeliveredTime(RemoteFiles& remote, const Text& finalName, std::int64_t mtimeSeconds, StatusTarget* status) {
  if (!remote.Offers().setTime) return true;
  const RemoteAnswer answer = remote.SetTime(finalName, mtimeSeconds);
  switch (answer.reply) {
    case RemoteReply::kDone:
    case RemoteReply::kUnsupported:
      return true;
    case RemoteReply::kServerGone:
    case RemoteReply::kStopped:
      return false;
    default:
      Say(status, u"----- The server kept its own time for the file (" + answer.message + u")");
      return true;
  }
}

}  // namespace wexmoor
