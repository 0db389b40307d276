// Proof of a delivery on an FTP server: the server's digest of a file (the
// HASH command, choosing its algorithm with OPTS HASH, or the older XSHA256,
// XSHA1, XMD5 and XCRC) and the file's modification time (MFMT). What a
// server offers is read from its FEAT reply.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ftp/ftp_session.h"
#include "ftp/status_target.h"
#include "model/server_table.h"
#include "platform/text.h"

namespace wexmoor {

// Strongest last.
enum class FtpHashKind { kCrc32, kMd5, kSha1, kSha256 };

// "SHA-256", "SHA-1", "MD5", "CRC32": the names the HASH command uses.
const char* HashName(FtpHashKind kind);

struct FtpProofFeatures {
  std::vector<FtpHashKind> hashCommand;  // what HASH offers (of the four kinds above)
  std::optional<FtpHashKind> hashSelected;  // the one FEAT marks with "*"
  std::vector<FtpHashKind> xCommands;    // XCRC, XMD5, XSHA1, XSHA256
  bool mfmt = false;

  // Every kind either way, strongest last, each once.
  std::vector<FtpHashKind> Kinds() const;
};

// Reads the feature lines of a FEAT reply (the "211-" lines between the
// first and the last). Names are matched without regard to case.
FtpProofFeatures ParseProofFeatures(TextView featReply);

// Sends FEAT and reads what it offers; nothing when FEAT is refused.
// `lost` is set when the connection is lost or timed out.
FtpProofFeatures AskProofFeatures(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status,
                                  bool* lost = nullptr);

// The lower-case hex digest of `kind` in the reply to HASH ("213 SHA-256
// 0-1234 <hex> name") or to an X command ("250 <hex>", "213 <hex>", with or
// without the name after it); nullopt when the reply is no success or the
// digest has not the length of the kind.
std::optional<std::string> ParseHashReply(TextView reply, FtpHashKind kind);
std::optional<std::string> ParseXHashReply(TextView reply, FtpHashKind kind);

// "YYYYMMDDHHMMSS" in UTC, as MFMT takes it.
Text MfmtTime(std::int64_t epochSeconds);

enum class ProofReply {
  kDone,
  kRefused,      // the server refused this one command
  kUnsupported,  // the server offers nothing for it
  kGone,         // the connection is lost or timed out (or 421)
};

// The server's `kind` digest of `name` (in the current folder): HASH after
// OPTS HASH where the server offers `kind` there (OPTS only when another kind
// is selected now; `features.hashSelected` follows), else the X command (a
// name with a space in double quotes).
ProofReply RemoteHash(FtpSession& session, int connection, ServerRecord& server, FtpProofFeatures& features,
                      TextView name, FtpHashKind kind, std::string& hexDigest, Text& message, StatusTarget* status);

// MFMT of `name` to `epochSeconds`.
ProofReply SetRemoteTime(FtpSession& session, int connection, ServerRecord& server, const FtpProofFeatures& features,
                         TextView name, std::int64_t epochSeconds, Text& message, StatusTarget* status);

}  // namespace wexmoor
