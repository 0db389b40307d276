// The FTP side of RemoteFiles' SetTime and Hash: what FEAT offered as
// RemoteOffers, and HASH / X commands / MFMT answers as RemoteAnswers, for
// the FTP RemoteFiles adapter.
#pragma once

#include <string>
#include <vector>

#include "ftp/file_proof.h"
#include "spooler/remote_files.h"

namespace wexmoor {

HashKind ToHashKind(FtpHashKind kind);
FtpHashKind ToFtpHashKind(HashKind kind);

// Fills `offers.hashes` and `offers.setTime` from what FEAT listed.
void AddProofOffers(const FtpProofFeatures& features, RemoteOffers& offers);

RemoteAnswer FtpHash(FtpSession& session, int connection, ServerRecord& server, FtpProofFeatures& features,
                     const Text& name, HashKind kind, std::string& hexDigest, StatusTarget* status);
RemoteAnswer FtpSetTime(FtpSession& session, int connection, ServerRecord& server,
                        const FtpProofFeatures& features, const Text& name, std::int64_t mtimeSeconds,
                        StatusTarget* status);

}  // namespace wexmoor
