// A real WebDAV server on 127.0.0.1 and a free port, with a temporary
// configuration, a served folder of its own and one user with a password:
// Apache httpd with mod_dav (plain HTTP, or HTTPS with a freshly made
// self-signed certificate) or lighttpd with mod_webdav (plain HTTP). Each
// runs as a foreground process of the test and is stopped by the destructor.
//
//   DavServer server(DavServer::Kind::kApacheHttps);
//   if (!DavServer::available(kind)) GTEST_SKIP() << "needs apache2";
//   ASSERT_TRUE(server.ok()) << server.error();
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "peers/test_paths.h"

namespace wexmoor::testing {

// Apache only: bodies past `limitBody` bytes are answered 413; with
// `refuseMove` MOVE is answered 405; with `digest` the login is by Digest
// authentication only.
struct DavServerLimits {
  long limitBody = 0;
  bool refuseMove = false;
  bool digest = false;
};

class DavServer {
 public:
  enum class Kind { kApacheHttp, kApacheHttps, kLighttpd };
  using Limits = DavServerLimits;

  explicit DavServer(Kind kind, Limits limits = {});
  ~DavServer();
  DavServer(const DavServer&) = delete;
  DavServer& operator=(const DavServer&) = delete;

  static bool available(Kind kind);
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  bool tls() const { return kind_ == Kind::kApacheHttps; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  // The served folder (what the server's "/" shows).
  const std::string& root() const { return root_; }
  // The certificate's SHA-256 as "AA:BB:..." (HTTPS only).
  const std::string& fingerprint() const { return fingerprint_; }
  // How many requests the server logged so far (from its access log).
  int RequestCount() const;
  // The access log: a line "<request line> <status>" per request.
  std::string AccessLog() const;
  std::string ServerLog() const;

 private:
  bool StartApache();
  bool StartLighttpd();
  bool Spawn(const std::vector<std::string>& args);

  Kind kind_;
  Limits limits_;
  std::unique_ptr<TempFolder> folder_;
  std::string user_ = "anna", password_ = "Dav-Secret-1", root_, fingerprint_, error_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool ok_ = false;
};

}  // namespace wexmoor::testing
