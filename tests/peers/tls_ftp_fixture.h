// A real FTP server with TLS on loopback, started through
// tests/peers/tls_ftp_server.py: vsftpd (TLS forced for login and data,
// session reuse required, a temporary user; needs root) or pyftpdlib's TLS
// handler, each with a fresh self-signed certificate. Optionally behind a
// relay that records every byte the client sends.
#pragma once

#include <sys/types.h>

#include <string>

#include "peers/test_paths.h"

namespace wexmoor::testing {

struct TlsPeerOptions {
  std::string kind = "vsftpd";  // or "pyftpdlib"
  std::string address = "127.0.0.1";
  bool implicit = false;
  bool relay = false;
  bool plain = false;  // no TLS at all (a control for the capture)
};

class TlsFtpPeer {
 public:
  explicit TlsFtpPeer(TlsPeerOptions options);
  ~TlsFtpPeer();
  TlsFtpPeer(const TlsFtpPeer&) = delete;
  TlsFtpPeer& operator=(const TlsFtpPeer&) = delete;

  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  const std::string& root() const { return root_; }
  const std::string& fingerprint() const { return fingerprint_; }
  const std::string& certificateFile() const { return cert_; }
  // What the client sent through the relay, and the server's log.
  std::string ClientBytes() const;
  std::string ServerLog() const;

 private:
  TempFolder work_;
  std::string error_, user_, password_, root_, fingerprint_, cert_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool ok_ = false;
};

}  // namespace wexmoor::testing
