// Proof of a delivery, asked after the rename: the server's digest of the
// final file compared with the digest of the bytes sent, where the server
// offers one and the server's record lets it ("ServerVerify<n>"), and the
// local file's modification time given to the final file. A mismatch fails
// the attempt ("hash mismatch"); a time the server refuses is logged only.
#pragma once

#include <cstdint>
#include <optional>

#include "model/status_target.h"
#include "platform/text.h"
#include "spooler/remote_files.h"
#include "spooler/sent_digest.h"

namespace wexmoor {

inline constexpr char16_t kHashMismatch[] = u"hash mismatch";

enum class ProofOutcome {
  kMatched,     // the server's digest is the one sent
  kSizeOnly,    // no digest to compare: the size check stands
  kMismatch,    // the file on the server is not what was sent
  kServerGone,  // the server went while asked
  kStopped,
};

struct DeliveryProof {
  ProofOutcome outcome = ProofOutcome::kSizeOnly;
  Text verification = u"size";  // "sha256:<hex>" when matched
  Text message;                 // for the log and the row's tip
};

// The kind a delivery to a server with `offers` computes while sending:
// the strongest offered, none when `verify` is 0 or nothing is offered.
std::optional<HashKind> DigestToSend(const RemoteOffers& offers, int verify);

// Compares the server's digest of `finalName` with `sent`'s (null: size
// only). A server that refuses the one command leaves the size check
// standing; the log says so.
DeliveryProof ProveDelivery(RemoteFiles& remote, const Text& finalName, const SentDigest* sent, StatusTarget* status);

// Gives `finalName` the local file's time where the server can set it; a
// refusal goes to the log. False only when the server went (or the stop).
bool SetDeliveredTime(RemoteFiles& remote, const Text& finalName, std::int64_t mtimeSeconds, StatusTarget* status);

}  // namespace wexmoor
