#include "peers/dav_server_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "peers/loopback_port.h"
#include "peers/sshd_fixture.h"

extern char** environ;

namespace wexmoor::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kApache[] = "/usr/sbin/apache2";
constexpr char kApacheModules[] = "/usr/lib/apache2/modules/";
constexpr char kLighttpd[] = "/usr/sbin/lighttpd";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

bool DavServer::available(Kind kind) {
  if (kind == Kind::kLighttpd) return access(kLighttpd, X_OK) == 0 && access("/usr/lib/lighttpd/mod_webdav.so", R_OK) == 0;
  return access(kApache, X_OK) == 0 && access((std::string(kApacheModules) + "mod_dav_fs.so").c_str(), R_OK) == 0;
}

DavServer::DavServer(Kind kind, Limits limits) : kind_(kind), limits_(limits) {
  if (!available(kind)) {
    error_ = "the server is not installed";
    return;
  }
  folder_ = std::make_unique<TempFolder>();
  chmod(folder_->path().c_str(), 0755);
  root_ = folder_->path() + "/www";
  fs::create_directories(root_);
  port_ = FreeLoopbackPort();
  ok_ = kind == Kind::kLighttpd ? StartLighttpd() : StartApache();
}

bool DavServer::StartApache() {
  const std::string dir = folder_->path();
  std::string out;
  const bool https = kind_ == Kind::kApacheHttps;
  if (https) {
    if (RunTool({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                 "-keyout", dir + "/key.pem", "-out", dir + "/cert.pem", "-days", "2", "-subj",
                 "/CN=wexmoor-dav-test"},
                &out) != 0) {
      error_ = "openssl req: " + out;
      return false;
    }
    if (RunTool({"openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", dir + "/cert.pem"}, &out) != 0) {
      error_ = "openssl x509: " + out;
      return false;
    }
    fingerprint_ = out.substr(out.find('=') + 1);
    while (!fingerprint_.empty() && (fingerprint_.back() == '\n' || fingerprint_.back() == '\r')) fingerprint_.pop_back();
  }
  if (RunTool({"htpasswd", "-b", "-c", dir + "/htpasswd", user_, password_}, &out) != 0) {
    error_ = "htpasswd: " + out;
    return false;
  }
  if (limits_.digest) {
    // user:realm:MD5(user:realm:password), as htdigest writes it.
    if (RunTool({"sh", "-c", "printf '%s' '" + user_ + ":dav:" + password_ + "' | openssl md5 -r"}, &out) != 0) {
      error_ = "openssl md5: " + out;
      return false;
    }
    WriteFile(dir + "/htdigest", user_ + ":dav:" + out.substr(0, 32) + "\n");
  }
  // The children run as www-data when the test runs as root.
  const bool root = geteuid() == 0;
  fs::create_directories(dir + "/lock");
  if (root) {
    RunTool({"chown", "-R", "www-data:www-data", root_, dir + "/lock"});
  }
  std::string modules;
  for (const char* module : {"mpm_event", "authn_core", "authn_file", "authz_core", "authz_user", "auth_basic", "dav",
                             "dav_fs", "http2", "allowmethods", "auth_digest"}) {
    modules += std::string("LoadModule ") + module + "_module " + kApacheModules + "mod_" + module + ".so\n";
  }
  if (https) modules += std::string("LoadModule ssl_module ") + kApacheModules + "mod_ssl.so\n";
  std::string config = modules + "ServerRoot " + dir + "\nServerName 127.0.0.1\nListen 127.0.0.1:" +
                       std::to_string(port_) + "\nPidFile " + dir + "/httpd.pid\nErrorLog " + dir +
                       "/error.log\nLogFormat \"%r %>s\" brief\nCustomLog " + dir +
                       "/access.log brief\nDocumentRoot " + root_ + "\nDavLockDB " + dir +
                       "/lock/davlock\nLimitRequestBody " + std::to_string(limits_.limitBody) +
                       "\nTimeout 30\nKeepAliveTimeout 30\n"
                       "MaxKeepAliveRequests 0\nProtocols " + (https ? "h2 " : "h2c ") + "http/1.1\n";
  if (root) config += "User www-data\nGroup www-data\n";
  if (https) {
    config += "SSLEngine on\nSSLCertificateFile " + dir + "/cert.pem\nSSLCertificateKeyFile " + dir + "/key.pem\n";
  }
  config += "<Directory " + root_ + ">\n  Dav On\n" +
            (limits_.digest ? "  AuthType Digest\n  AuthName dav\n  AuthDigestProvider file\n  AuthUserFile " + dir +
                                  "/htdigest\n"
                            : "  AuthType Basic\n  AuthName dav\n  AuthUserFile " + dir + "/htpasswd\n") +
            "  Require valid-user\n" +
            (limits_.refuseMove ? "  AllowMethods GET HEAD OPTIONS PUT DELETE PROPFIND MKCOL\n" : "") +
            "</Directory>\n";
  WriteFile(dir + "/httpd.conf", config);
  return Spawn({kApache, "-f", dir + "/httpd.conf", "-DFOREGROUND"});
}

bool DavServer::StartLighttpd() {
  const std::string dir = folder_->path();
  WriteFile(dir + "/users", user_ + ":" + password_ + "\n");
  fs::create_directories(dir + "/upload");
  const std::string config =
      "server.document-root = \"" + root_ + "\"\nserver.bind = \"127.0.0.1\"\nserver.port = " +
      std::to_string(port_) + "\nserver.errorlog = \"" + dir + "/error.log\"\nserver.upload-dirs = (\"" + dir +
      "/upload\")\nserver.modules = (\"mod_auth\", \"mod_authn_file\", \"mod_webdav\", \"mod_accesslog\")\n"
      "accesslog.filename = \"" + dir + "/access.log\"\naccesslog.format = \"%r %>s\"\n"
      "webdav.activate = \"enable\"\nwebdav.is-readonly = \"disable\"\n"
      "auth.backend = \"plain\"\nauth.backend.plain.userfile = \"" + dir + "/users\"\n"
      "auth.require = (\"\" => (\"method\" => \"basic\", \"realm\" => \"dav\", \"require\" => \"valid-user\"))\n";
  WriteFile(dir + "/lighttpd.conf", config);
  return Spawn({kLighttpd, "-D", "-f", dir + "/lighttpd.conf", "-m", "/usr/lib/lighttpd"});
}

bool DavServer::Spawn(const std::vector<std::string>& args) {
  const std::string dir = folder_->path();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, (dir + "/stdout.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, (dir + "/stdout.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Its own process group, so that the destructor stops every child.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  const int spawned = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    pid_ = -1;
    error_ = "could not start " + args[0];
    return false;
  }
  const auto end = Clock::now() + std::chrono::seconds(15);
  while (Clock::now() < end) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = args[0] + " ended at once: " + ServerLog();
      return false;
    }
    if (LoopbackAnswers(port_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  error_ = args[0] + " did not listen: " + ServerLog();
  return false;
}

DavServer::~DavServer() {
  if (pid_ <= 0) return;
  kill(-pid_, SIGTERM);
  const auto end = Clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() > end) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string DavServer::AccessLog() const { return folder_ ? ReadFile(folder_->path() + "/access.log") : std::string(); }

int DavServer::RequestCount() const {
  if (!folder_) return 0;
  const std::string log = ReadFile(folder_->path() + "/access.log");
  int lines = 0;
  for (char c : log) lines += c == '\n' ? 1 : 0;
  return lines;
}

std::string DavServer::ServerLog() const {
  if (!folder_) return "";
  return ReadFile(folder_->path() + "/stdout.log") + ReadFile(folder_->path() + "/error.log");
}

}  // namespace wexmoor::testing
