// Deciding whether an SSH server's host key is trusted: its SHA-256
// fingerprint in OpenSSH's form against the stored one, or the user's
// known_hosts file for the host and port.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"

struct _LIBSSH2_SESSION;

namespace wexmoor {

// Standard base64 without the "=" padding.
std::string Base64NoPadding(std::string_view bytes);
// "SHA256:" + base64 of the 32 digest bytes, as ssh-keygen -l prints it.
std::string OpenSshFingerprint(std::string_view sha256Digest);
// True when the stored setting names `fingerprint`: blanks around it, the
// "SHA256:" prefix (any case) and trailing "=" padding are optional.
bool FingerprintMatches(TextView stored, std::string_view fingerprint);

// The name known_hosts files use: "host" on port 22, "[host]:port" elsewhere.
std::string KnownHostsName(std::string_view host, int port);
// "ssh-ed25519", "ecdsa-sha2-nistp256", ... for a libssh2 host key type.
std::string HostKeyTypeName(int libssh2HostKeyType);

enum class HostKeyVerdict { kKnown, kUnknown, kChanged };

// Looks the key up in the text of a known_hosts file. Lines libssh2 cannot
// read, comments and marker lines ("@revoked", "@cert-authority") are passed
// over; only the first kMaxKnownHostsBytes are read. A line for the same
// name and key type with another key makes the key "changed"; a line with a
// different key type does not.
constexpr std::size_t kMaxKnownHostsBytes = 4u << 20;
HostKeyVerdict CheckKnownHosts(_LIBSSH2_SESSION* session, std::string_view knownHostsText,
                               std::string_view host, int port, std::string_view key, int libssh2HostKeyType);

}  // namespace wexmoor
