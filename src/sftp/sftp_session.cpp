#include "sftp/sftp_session.h"

#include <fcntl.h>
#include <libssh2.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "platform/code_page.h"
#include "platform/socket.h"
#include "platform/wait.h"
#include "sftp/host_key_trust.h"
#include "sftp/sftp_packets.h"

namespace wexmoor {
namespace {

constexpr std::size_t kWriteChunk = 64 * 1024;   // data per WRITE request
constexpr std::size_t kMaxOutstanding = 32;      // WRITE requests in flight (2 MiB)
constexpr std::size_t kMaxListing = 100000;      // entries taken from one folder
constexpr int kQuitLimitMs = 1000;
constexpr std::size_t kMaxOpenAhead = 2;         // OPENs sent ahead of their uploads

// Results of the waiting helpers besides libssh2's own codes.
constexpr int kTimedOut = -1001;
constexpr int kStopped = -1002;

Text FromUtf8(std::string_view bytes) { return Utf8ToUtf16(bytes); }

std::string LastError(LIBSSH2_SESSION* ssh) {
  char* message = nullptr;
  int length = 0;
  if (ssh == nullptr) return "no session";
  libssh2_session_last_error(ssh, &message, &length, 0);
  return message != nullptr ? sftp::ShownText(std::string_view(message, static_cast<std::size_t>(length)))
                            : "unknown error";
}

bool Readable(const std::string& path) { return !path.empty() && ::access(path.c_str(), R_OK) == 0; }

// Reads a small local file whole (bounded); empty when missing.
std::string ReadSmallFile(const std::string& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text(limit, '\0');
  in.read(text.data(), static_cast<std::streamsize>(limit));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

Text StatusText(const sftp::Reply& reply) {
  if (reply.type != sftp::kStatus) return u"Unexpected answer";
  const std::string name = sftp::StatusName(reply.status);
  Text text = AsciiToText(name);
  if (!reply.message.empty() && reply.message != name) {
    text += u" (" + Utf8ToUtf16(sftp::ShownText(reply.message)) + u")";
  }
  return text;
}

}  // namespace

struct SftpSession::Impl {
  int socket = 0;
  LIBSSH2_SESSION* ssh = nullptr;
  LIBSSH2_CHANNEL* channel = nullptr;
  std::string password;  // only while keyboard-interactive runs
  sftp::PacketAssembler incoming;
  std::string outgoing;
  std::size_t outgoingSent = 0;
  std::uint32_t nextId = 1;
  int timeOut = 10000;
  std::int64_t lastProgressMs = 0;
  std::stop_token stop;
  // Requests whose answers nobody waits for (an OPEN sent ahead, a SETSTAT):
  // their answers are taken wherever they turn up.
  struct Deferred {
    bool open = false;
    std::string path;
  };
  std::map<std::uint32_t, Deferred> deferred;
  std::map<std::string, std::uint32_t> ahead;  // OPENs sent ahead, by path, until taken
  std::map<std::uint32_t, sftp::Reply> aheadReplies;
  std::function<void(TextView)> note;  // a line into the session's log

  std::uint32_t NewId() { return nextId++; }

  // Queues a request nobody waits for and moves what can be moved now.
  void SendDeferred(std::uint32_t id, Deferred what, const std::string& packet) {
    deferred[id] = std::move(what);
    outgoing += packet;
    Pump();  // a failure shows at the next wait
  }

  // Takes the answer to a deferred request; false when it is none.
  bool Settle(const sftp::Reply& reply) {
    const auto it = deferred.find(reply.id);
    if (it == deferred.end()) return false;
    if (it->second.open) {
      aheadReplies[reply.id] = reply;
    } else if (note) {
      const Text path = Utf8ToUtf16(sftp::ShownText(it->second.path));
      note(reply.type == sftp::kStatus && reply.status == sftp::kOk
               ? u">---<SETSTAT " + path + u": OK"
               : u"----- The server kept its own time for " + path + u" (" + StatusText(reply) + u")");
    }
    deferred.erase(it);
    return true;
  }
  void Progressed() { lastProgressMs = NetworkMs(); }

  // One slice of waiting for the directions libssh2 is blocked in (and for
  // writing when `wantWrite`). 1 to go on, kTimedOut or kStopped.
  int Wait(bool wantWrite = false) {
    if (stop.stop_requested()) return kStopped;
    short events = 0;
    const int directions = ssh != nullptr ? libssh2_session_block_directions(ssh) : 0;
    if ((directions & LIBSSH2_SESSION_BLOCK_INBOUND) != 0) events |= POLLIN;
    if ((directions & LIBSSH2_SESSION_BLOCK_OUTBOUND) != 0 || wantWrite) events |= POLLOUT;
    if (events == 0) events = POLLIN;
    if (WaitForDescriptor(socket, events, kWaitSliceMs, stop) == WaitResult::kStopped) return kStopped;
    if (NetworkMs() - lastProgressMs > timeOut) return kTimedOut;
    return 1;
  }

  // Runs a libssh2 call until it stops asking to be called again.
  template <class Call>
  int Drive(Call call) {
    Progressed();
    for (;;) {
      const int rc = call();
      if (rc != LIBSSH2_ERROR_EAGAIN) return rc;
      const int w = Wait();
      if (w != 1) return w;
    }
  }
  // The same for calls that return a pointer (NULL with EAGAIN: again).
  template <class T, class Call>
  T* DrivePointer(Call call, int& rc) {
    Progressed();
    for (;;) {
      T* p = call();
      if (p != nullptr) {
        rc = 0;
        return p;
      }
      rc = libssh2_session_last_errno(ssh);
      if (rc != LIBSSH2_ERROR_EAGAIN) return nullptr;
      const int w = Wait();
      if (w != 1) {
        rc = w;
        return nullptr;
      }
    }
  }

  // Moves what can be moved now in both directions without waiting.
  // Returns bytes moved (>= 0) or a negative libssh2 code.
  long Pump() {
    long moved = 0;
    while (outgoingSent < outgoing.size()) {
      const auto n = libssh2_channel_write(channel, outgoing.data() + outgoingSent, outgoing.size() - outgoingSent);
      if (n == LIBSSH2_ERROR_EAGAIN) break;
      if (n < 0) return n;
      outgoingSent += static_cast<std::size_t>(n);
      moved += n;
    }
    if (outgoingSent == outgoing.size()) {
      outgoing.clear();
      outgoingSent = 0;
    }
    char buffer[64 * 1024];
    for (;;) {
      const auto n = libssh2_channel_read(channel, buffer, sizeof buffer);
      if (n == LIBSSH2_ERROR_EAGAIN) break;
      if (n < 0) return n;
      if (n == 0) {
        if (libssh2_channel_eof(channel) != 0) return LIBSSH2_ERROR_CHANNEL_CLOSED;
        break;
      }
      incoming.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
      moved += n;
    }
    if (moved > 0) Progressed();
    return moved;
  }

  // Waits for the next whole packet. 1 with `body`, else a negative code
  // (kTimedOut, kStopped, a libssh2 error, or LIBSSH2_ERROR_PROTO for a
  // packet that cannot be framed).
  int NextPacket(std::string& body) {
    for (;;) {
      const int got = incoming.Next(body);
      if (got == 1) return 1;
      if (got < 0) return LIBSSH2_ERROR_PROTO;
      const long moved = Pump();
      if (moved < 0) return static_cast<int>(moved);
      if (moved == 0) {
        const int w = Wait(!outgoing.empty());
        if (w != 1) return w;
      }
    }
  }

  // Sends one request and waits for the reply carrying `id`.
  int Exchange(const std::string& packet, std::uint32_t id, sftp::Reply& reply) {
    outgoing += packet;
    Progressed();
    std::string body;
    for (;;) {
      const int r = NextPacket(body);
      if (r != 1) return r;
      if (!sftp::ParseReply(body, reply)) return LIBSSH2_ERROR_PROTO;
      if (reply.id == id) return 1;
      Settle(reply);  // else a late answer to a request given up
    }
  }

  // Waits for the answer to the OPEN sent ahead for `path` and takes it.
  int AwaitAhead(const std::string& path, sftp::Reply& reply) {
    const auto it = ahead.find(path);
    if (it == ahead.end()) return LIBSSH2_ERROR_PROTO;
    const std::uint32_t id = it->second;
    ahead.erase(it);
    Progressed();
    std::string body;
    while (!aheadReplies.contains(id)) {
      const int r = NextPacket(body);
      if (r != 1) return r;
      if (!sftp::ParseReply(body, reply)) return LIBSSH2_ERROR_PROTO;
      Settle(reply);
    }
    reply = std::move(aheadReplies[id]);
    aheadReplies.erase(id);
    return 1;
  }

  void Free(bool polite) {
    if (!polite && socket != 0) ::shutdown(socket, SHUT_RDWR);
    // After a shutdown libssh2's sends fail at once; the bound is for a
    // polite end whose peer has gone quiet. Such a peer is then shut out
    // too, so that the second round frees what the first could not.
    for (int round = 0; round < 2 && (channel != nullptr || ssh != nullptr); ++round) {
      if (round > 0 && socket != 0) ::shutdown(socket, SHUT_RDWR);
      for (int i = 0; channel != nullptr && i < 20; ++i) {
        if (libssh2_channel_free(channel) != LIBSSH2_ERROR_EAGAIN) {
          channel = nullptr;
        } else {
          WaitForDescriptor(socket, POLLIN | POLLOUT, kWaitSliceMs);
        }
      }
      // The session frees a channel left over with it.
      for (int i = 0; (channel == nullptr || round > 0) && ssh != nullptr && i < 20; ++i) {
        if (libssh2_session_free(ssh) != LIBSSH2_ERROR_EAGAIN) {
          ssh = nullptr;
          channel = nullptr;
        } else {
          WaitForDescriptor(socket, POLLIN | POLLOUT, kWaitSliceMs);
        }
      }
    }
    channel = nullptr;
    ssh = nullptr;
    if (socket != 0) CloseSocket(socket);
    socket = 0;
    incoming = sftp::PacketAssembler();
    outgoing.clear();
    outgoingSent = 0;
    deferred.clear();
    ahead.clear();
    aheadReplies.clear();
    std::fill(password.begin(), password.end(), '\0');
    password.clear();
  }
};

namespace {

void AnswerWithPassword(const char*, int, const char*, int, int promptCount,
                        const LIBSSH2_USERAUTH_KBDINT_PROMPT* prompts, LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses,
                        void** abstract) {
  const auto* impl = static_cast<const SftpSession::Impl*>(*abstract);
  for (int i = 0; i < promptCount; ++i) {
    responses[i].text = nullptr;
    responses[i].length = 0;
    if (prompts[i].echo != 0 || impl == nullptr) continue;
    // libssh2 frees the answer with free().
    auto* text = static_cast<char*>(std::malloc(impl->password.size() + 1));
    if (text == nullptr) continue;
    std::memcpy(text, impl->password.data(), impl->password.size());
    text[impl->password.size()] = '\0';
    responses[i].text = text;
    responses[i].length = static_cast<unsigned int>(impl->password.size());
  }
}

}  // namespace

bool StartSftpLibrary() { return libssh2_init(0) == 0; }
void StopSftpLibrary() { libssh2_exit(); }

int SftpPort(int configuredPort) { return configuredPort == 0 || configuredPort == 21 ? 22 : configuredPort; }

SftpTarget SftpTargetFor(const ServerRecord& server, Text fingerprint, std::string sshFolder,
                         std::string agentSocket) {
  // The address splits as for FTP: the host, then the folder path.
  const ServerAddressParts parts = SplitServerAddress(server.address);
  SftpTarget target;
  target.login.host = parts.host;
  target.folderPath = parts.folderPath;
  target.login.port = SftpPort(server.port);
  target.login.login = server.login;
  target.login.password = server.password;
  target.login.fingerprint = std::move(fingerprint);
  target.login.timeOut = server.timeOut > 0 ? server.timeOut : 10000;
  target.login.sshFolder = std::move(sshFolder);
  target.login.agentSocket = std::move(agentSocket);
  return target;
}

Text SftpListingText(const std::vector<SftpListEntry>& entries) {
  Text out;
  for (const auto& entry : entries) out += entry.name + u"|";
  return out;
}

std::string JoinRemotePath(std::string_view base, std::string_view path) {
  std::string out = path.starts_with('/') ? std::string() : std::string(base);
  while (!out.empty() && out.back() == '/') out.pop_back();
  std::size_t from = 0;
  while (from <= path.size()) {
    std::size_t slash = path.find('/', from);
    if (slash == std::string_view::npos) slash = path.size();
    const std::string_view part = path.substr(from, slash - from);
    from = slash + 1;
    if (part.empty() || part == ".") continue;
    out += '/';
    out += part;
  }
  return out.empty() ? "/" : out;
}

SftpSession::SftpSession(const Clock& clock, std::atomic<std::int64_t>& lastProgressTime)
    : clock_(clock), lastProgressTime_(lastProgressTime), impl_(std::make_unique<Impl>()) {
  impl_->note = [this](TextView line) { LogLine(line, nullptr); };
}

SftpSession::~SftpSession() { impl_->Free(false); }

void SftpSession::SetStopToken(std::stop_token stop) {
  stop_ = stop;
  impl_->stop = std::move(stop);
}

bool SftpSession::Connected() const { return impl_->channel != nullptr; }

void SftpSession::LogLine(TextView text, StatusTarget* status) {
  Text line = AsciiToText(FormatClockTime(clock_.Local()));
  line += u": ";
  line.append(text);
  if (status != nullptr) status->SetStatusText(line);
  log_.Append(line);
}

namespace {

// The log text for a failed step.
Text Failure(int rc, LIBSSH2_SESSION* ssh) {
  if (rc == kTimedOut) return u"!!--- TimeOut";
  if (rc == kStopped) return u"!!--- Stopped";
  if (rc == LIBSSH2_ERROR_PROTO) return u"!!--- Malformed answer from the server";
  if (rc == LIBSSH2_ERROR_CHANNEL_CLOSED || rc == LIBSSH2_ERROR_SOCKET_RECV || rc == LIBSSH2_ERROR_SOCKET_SEND ||
      rc == LIBSSH2_ERROR_SOCKET_DISCONNECT) {
    return u"!!--- Connection lost";
  }
  return u"!!--- " + Utf8ToUtf16(LastError(ssh));
}

}  // namespace

int SftpSession::Connect(const SftpLogin& login, StatusTarget* status) {
  Drop();
  log_.Clear();
  connectFailure_ = SftpConnectFailure::kNoConnection;
  Impl& s = *impl_;
  s.timeOut = login.timeOut > 0 ? login.timeOut : 10000;
  const int port = SftpPort(login.port);
  const std::string host = Utf16ToUtf8(login.host);
  s.socket = stop_.stop_requested() ? 0 : ConnectTcp(host, port, s.timeOut, stop_);
  if (s.socket == 0) {
    LogLine(u"!!--- Unable to connect to specified server", status);
    return -1;
  }
  LogLine(u"----- Connected to " + login.host + u":" + IntToText(port), status);
  connectFailure_ = SftpConnectFailure::kHandshake;
  // Requests are small and answered one by one: no waiting for more to send.
  const int on = 1;
  ::setsockopt(s.socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  s.ssh = libssh2_session_init_ex(nullptr, nullptr, nullptr, impl_.get());
  if (s.ssh == nullptr) {
    LogLine(u"!!--- Unable to start SSH", status);
    Drop();
    return -1;
  }
  libssh2_session_set_blocking(s.ssh, 0);
  int rc = s.Drive([&] { return libssh2_session_handshake(s.ssh, s.socket); });
  if (rc != 0) {
    LogLine(Failure(rc, s.ssh), status);
    Drop();
    return -1;
  }
  if (const char* banner = libssh2_session_banner_get(s.ssh); banner != nullptr) {
    LogLine(u">---<" + FromUtf8(sftp::ShownText(banner)), status);
  }
  const char* cipher = libssh2_session_methods(s.ssh, LIBSSH2_METHOD_CRYPT_CS);
  const char* mac = libssh2_session_methods(s.ssh, LIBSSH2_METHOD_MAC_CS);
  LogLine(u">---<" + FromUtf8(cipher ? cipher : "?") + u" " + FromUtf8(mac ? mac : "?"), status);

  // The host key, before anything of the login leaves.
  std::size_t keyLength = 0;
  int keyType = 0;
  const char* key = libssh2_session_hostkey(s.ssh, &keyLength, &keyType);
  const char* digest = libssh2_hostkey_hash(s.ssh, LIBSSH2_HOSTKEY_HASH_SHA256);
  if (key == nullptr || digest == nullptr) {
    LogLine(u"!!--- No host key from the server", status);
    Drop();
    return -1;
  }
  fingerprint_ = OpenSshFingerprint(std::string_view(digest, 32));
  const Text keyText = AsciiToText(HostKeyTypeName(keyType)) + u" " + AsciiToText(fingerprint_);
  LogLine(u">---<Host key " + keyText, status);
  const std::string knownHosts =
      login.sshFolder.empty() ? std::string() : ReadSmallFile(login.sshFolder + "/known_hosts", kMaxKnownHostsBytes);
  // known_hosts names an address without the brackets of "[::1]".
  const std::string bare = host.size() > 2 && host.front() == '[' && host.back() == ']'
                               ? host.substr(1, host.size() - 2)
                               : host;
  const HostKeyVerdict verdict =
      CheckKnownHosts(s.ssh, knownHosts, bare, port, std::string_view(key, keyLength), keyType);
  const bool storedMatches = FingerprintMatches(login.fingerprint, fingerprint_);
  const bool stored = !TrimBlanks(login.fingerprint).empty();
  if (verdict == HostKeyVerdict::kChanged || (stored && !storedMatches)) {
    LogLine(u"!!--- The host key has changed: " + keyText + u" is not trusted", status);
    connectFailure_ = SftpConnectFailure::kHostKeyChanged;
    Drop();
    return -1;
  }
  if (storedMatches) {
    LogLine(u"----- Host key matches the stored fingerprint", status);
  } else if (verdict == HostKeyVerdict::kKnown) {
    LogLine(u"----- Host key found in known_hosts", status);
  } else {
    HostKeyQuestion question{login.host, port, AsciiToText(HostKeyTypeName(keyType)), AsciiToText(fingerprint_)};
    if (!trustWindow_ || stop_.stop_requested() || !trustWindow_(question)) {
      LogLine(u"!!--- Unknown host key " + keyText + u" is not trusted", status);
      connectFailure_ = SftpConnectFailure::kHostKeyUnknown;
      Drop();
      return -1;
    }
    LogLine(u"----- Host key trusted for this session", status);
  }

  // The login: the password where there is one, else the agent and key files.
  connectFailure_ = SftpConnectFailure::kLogin;
  const std::string user = Utf16ToUtf8(login.login);
  const auto userLength = static_cast<unsigned int>(user.size());
  LogLine(u"<--->USER " + login.login, status);
  char* methods = s.DrivePointer<char>(
      [&] { return libssh2_userauth_list(s.ssh, user.data(), userLength); }, rc);
  if (methods == nullptr && libssh2_userauth_authenticated(s.ssh) == 0) {
    LogLine(Failure(rc, s.ssh), status);
    Drop();
    return -1;
  }
  const std::string offered = methods != nullptr ? methods : "none";
  LogLine(u">---<Methods: " + FromUtf8(sftp::ShownText(offered)), status);
  // Appended, not "literal + string": GCC 12 at -O3 warns falsely (restrict, GCC bug 105329).
  const std::string offeredList = std::string(",").append(offered).append(",");
  auto offers = [&](std::string_view m) {
    return offeredList.find(std::string(",").append(m).append(",")) != std::string::npos;
  };
  auto authenticated = [&] { return libssh2_userauth_authenticated(s.ssh) != 0; };
  auto stopOrTimeout = [&](int code) { return code == kStopped || code == kTimedOut; };
  const std::string password = Utf16ToUtf8(login.password);
  if (!authenticated() && !password.empty()) {
    if (offers("password")) {
      LogLine(u"<--->PASS ****", status);
      rc = s.Drive([&] {
        return libssh2_userauth_password_ex(s.ssh, user.data(), userLength, password.data(),
                                            static_cast<unsigned int>(password.size()), nullptr);
      });
      LogLine(rc == 0 ? Text(u">---<Logged in") : u">---<Refused", status);
    }
    if (!authenticated() && !stopOrTimeout(rc) && offers("keyboard-interactive")) {
      LogLine(u"<--->keyboard-interactive ****", status);
      s.password = password;
      rc = s.Drive([&] {
        return libssh2_userauth_keyboard_interactive_ex(s.ssh, user.data(), userLength, AnswerWithPassword);
      });
      std::fill(s.password.begin(), s.password.end(), '\0');
      s.password.clear();
      LogLine(rc == 0 ? Text(u">---<Logged in") : u">---<Refused", status);
    }
  } else if (!authenticated() && offers("publickey")) {
    if (!login.agentSocket.empty()) {
      LIBSSH2_AGENT* agent = libssh2_agent_init(s.ssh);
      if (agent != nullptr) {
        libssh2_agent_set_identity_path(agent, login.agentSocket.c_str());
        if (libssh2_agent_connect(agent) == 0 && libssh2_agent_list_identities(agent) == 0) {
          libssh2_agent_publickey* identity = nullptr;
          libssh2_agent_publickey* previous = nullptr;
          while (!authenticated() && !stopOrTimeout(rc) &&
                 libssh2_agent_get_identity(agent, &identity, previous) == 0) {
            previous = identity;
            LogLine(u"<--->Agent key " + FromUtf8(sftp::ShownText(identity->comment ? identity->comment : "")),
                    status);
            rc = s.Drive([&] { return libssh2_agent_userauth(agent, user.c_str(), identity); });
            LogLine(rc == 0 ? Text(u">---<Logged in") : u">---<Refused", status);
          }
          libssh2_agent_disconnect(agent);
        }
        libssh2_agent_free(agent);
      }
    }
    // The order OpenSSH tries its default identities in.
    for (const char* name : {"id_rsa", "id_ecdsa", "id_ed25519"}) {
      if (authenticated() || stopOrTimeout(rc) || login.sshFolder.empty()) break;
      const std::string privateKey = login.sshFolder + "/" + name;
      if (!Readable(privateKey)) continue;
      const std::string publicKey = privateKey + ".pub";
      LogLine(u"<--->Key " + FromUtf8(privateKey), status);
      rc = s.Drive([&] {
        return libssh2_userauth_publickey_fromfile_ex(s.ssh, user.data(), userLength,
                                                      Readable(publicKey) ? publicKey.c_str() : nullptr,
                                                      privateKey.c_str(), "");
      });
      LogLine(rc == 0 ? Text(u">---<Logged in") : u">---<Refused", status);
    }
  }
  if (!authenticated()) {
    LogLine(stopOrTimeout(rc) ? Failure(rc, s.ssh) : Text(u"!!--- Login refused"), status);
    if (stopOrTimeout(rc)) connectFailure_ = SftpConnectFailure::kHandshake;
    Drop();
    return -1;
  }
  connectFailure_ = SftpConnectFailure::kSftp;

  // The SFTP channel.
  LogLine(u"<--->SFTP", status);
  s.channel = s.DrivePointer<LIBSSH2_CHANNEL>([&] { return libssh2_channel_open_session(s.ssh); }, rc);
  if (s.channel != nullptr) {
    rc = s.Drive([&] { return libssh2_channel_process_startup(s.channel, "subsystem", 9, "sftp", 4); });
  }
  sftp::VersionInfo version;
  if (s.channel != nullptr && rc == 0) {
    s.outgoing += sftp::InitPacket();
    std::string body;
    rc = s.NextPacket(body);
    if (rc == 1) rc = sftp::ParseVersion(body, version) ? 0 : LIBSSH2_ERROR_PROTO;
  }
  if (s.channel == nullptr || rc != 0) {
    LogLine(Failure(rc, s.ssh), status);
    Drop();
    return -1;
  }
  posixRename_ = version.Offers("posix-rename@openssh.com");
  LogLine(u">---<SFTP version " + IntToText(version.version) + (posixRename_ ? Text(u", posix-rename") : Text()),
          status);
  LogLine(u"<--->REALPATH .", status);
  sftp::Reply reply;
  const std::uint32_t id = s.NewId();
  rc = s.Exchange(sftp::PathPacket(sftp::kRealpath, id, "."), id, reply);
  if (rc != 1 || reply.type != sftp::kName || reply.names.size() != 1 || !reply.names[0].name.starts_with('/')) {
    LogLine(rc != 1 ? Failure(rc, s.ssh) : u"!!--- " + StatusText(reply), status);
    Drop();
    return -1;
  }
  folder_ = reply.names[0].name;
  LogLine(u">---<" + FromUtf8(sftp::ShownText(folder_)), status);
  connectFailure_ = SftpConnectFailure::kNone;
  return 1;
}

int SftpSession::EnterFolderPath(TextView folderPath, StatusTarget* status) {
  if (!Connected()) return -1;
  Impl& s = *impl_;
  const std::string path = Utf16ToUtf8(folderPath);
  // Walk from the login folder (or from "/") and make what is missing.
  std::string walked = path.starts_with('/') ? std::string() : folder_;
  while (!walked.empty() && walked.back() == '/') walked.pop_back();
  std::size_t from = 0;
  while (from < path.size()) {
    std::size_t slash = path.find('/', from);
    if (slash == std::string::npos) slash = path.size();
    const std::string part = path.substr(from, slash - from);
    from = slash + 1;
    if (part.empty() || part == ".") continue;
    walked += "/" + part;
    const std::string& folder = walked;
    sftp::Reply reply;
    std::uint32_t id = s.NewId();
    LogLine(u"<--->STAT " + FromUtf8(sftp::ShownText(folder)), status);
    int rc = s.Exchange(sftp::PathPacket(sftp::kStat, id, folder), id, reply);
    if (rc != 1) {
      LogLine(Failure(rc, s.ssh), status);
      Drop();
      return -1;
    }
    if (reply.type == sftp::kAttrs && reply.attributes.IsFolder()) {
      LogLine(u">---<Folder", status);
      continue;
    }
    LogLine(u">---<" + (reply.type == sftp::kAttrs ? Text(u"Not a folder") : StatusText(reply)), status);
    if (reply.type == sftp::kAttrs || reply.status != sftp::kNoSuchFile) {
      LogLine(u"!!Error while opening the directory!! " + FromUtf8(sftp::ShownText(folder)), status);
      return -1;
    }
    id = s.NewId();
    LogLine(u"<--->MKDIR " + FromUtf8(sftp::ShownText(folder)), status);
    rc = s.Exchange(sftp::MkdirPacket(id, folder, 0755), id, reply);
    if (rc != 1) {
      LogLine(Failure(rc, s.ssh), status);
      Drop();
      return -1;
    }
    LogLine(u">---<" + StatusText(reply), status);
    if (reply.type != sftp::kStatus || reply.status != sftp::kOk) {
      // Another session may have made it in the meantime.
      id = s.NewId();
      LogLine(u"<--->STAT " + FromUtf8(sftp::ShownText(folder)), status);
      rc = s.Exchange(sftp::PathPacket(sftp::kStat, id, folder), id, reply);
      if (rc != 1) {
        LogLine(Failure(rc, s.ssh), status);
        Drop();
        return -1;
      }
      const bool madeMeanwhile = reply.type == sftp::kAttrs && reply.attributes.IsFolder();
      LogLine(madeMeanwhile ? Text(u">---<Folder") : u">---<" + StatusText(reply), status);
      if (!madeMeanwhile) {
        LogLine(u"!!Error while creating the directory!! " + FromUtf8(sftp::ShownText(folder)), status);
        return -1;
      }
    }
  }
  folder_ = walked.empty() ? "/" : walked;
  return 1;
}

std::int64_t SftpSession::RemoteSize(TextView name, StatusTarget* status) {
  if (!Connected()) return -2;
  Impl& s = *impl_;
  const std::string path = JoinRemotePath(folder_, Utf16ToUtf8(name));
  LogLine(u"<--->STAT " + FromUtf8(sftp::ShownText(path)), status);
  sftp::Reply reply;
  const std::uint32_t id = s.NewId();
  const int rc = s.Exchange(sftp::PathPacket(sftp::kStat, id, path), id, reply);
  if (rc != 1) {
    LogLine(Failure(rc, s.ssh), status);
    Drop();
    return -2;
  }
  if (reply.type == sftp::kAttrs && reply.attributes.hasSize) {
    LogLine(u">---<Size " + IntToText(static_cast<long long>(reply.attributes.size)), status);
    return static_cast<std::int64_t>(std::min<std::uint64_t>(reply.attributes.size, INT64_MAX));
  }
  LogLine(u">---<" + StatusText(reply), status);
  return reply.type == sftp::kStatus && reply.status == sftp::kNoSuchFile ? -1 : -2;
}

int SftpSession::UploadFile(const Text& localPath, TextView remoteName, std::int64_t offset,
                            ProgressTarget* progress, StatusTarget* status, std::int64_t* sizeAfter) {
  if (!Connected()) return -1;
  const int file = ::open(Utf16ToUtf8(localPath).c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (file < 0 || ::fstat(file, &info) != 0 || !S_ISREG(info.st_mode) || offset < 0 || offset > info.st_size) {
    if (file >= 0) ::close(file);
    LogLine(u"!!--- Unable to read " + localPath, status);
    return -1;
  }
  TransferObserver none;
  const int result = Upload(file, localPath, remoteName, offset, info.st_size - offset, none, sizeAfter, progress, status);
  ::close(file);
  return result;
}

int SftpSession::WriteFrom(int fd, TextView remoteName, std::int64_t offset, std::int64_t length,
                           TransferObserver* observer, ProgressTarget* progress, StatusTarget* status,
                           std::int64_t* sizeAfter) {
  if (!Connected()) return -1;
  TransferObserver none;
  return Upload(fd, Text(remoteName), remoteName, offset, length, observer != nullptr ? *observer : none, sizeAfter,
                progress, status);
}

std::int64_t SftpSession::WritesInFlightBytes() { return static_cast<std::int64_t>(kMaxOutstanding * kWriteChunk); }

bool SftpSession::Alive() {
  if (!Connected()) return false;
  Impl& s = *impl_;
  // Something unasked: the server's end, or a keep-alive libssh2 answers.
  if (WaitForDescriptor(s.socket, POLLIN, 0, stop_) != WaitResult::kReady) return !stop_.stop_requested();
  // Answers to deferred requests may come; anything else means the end.
  bool dead = s.Pump() < 0;
  std::string body;
  sftp::Reply reply;
  int got = 0;
  while (!dead && (got = s.incoming.Next(body)) == 1) dead = !sftp::ParseReply(body, reply) || !s.Settle(reply);
  if (got < 0 || (s.deferred.empty() && (!s.outgoing.empty() || s.incoming.Buffered() > 0))) dead = true;
  if (dead) {
    LogLine(u"!!--- Connection lost", nullptr);
    Drop();
    return false;
  }
  return true;
}

int SftpSession::Upload(int file, const Text& shownName, TextView remoteName, std::int64_t offset,
                        std::int64_t length, TransferObserver& observer, std::int64_t* sizeAfter,
                        ProgressTarget* progress, StatusTarget* status) {
  if (!Connected()) return -1;
  Impl& s = *impl_;
  if (offset < 0 || length < 0) return -1;
  const std::int64_t size = offset + length;
  const std::string path = JoinRemotePath(folder_, Utf16ToUtf8(remoteName));
  sftp::Reply reply;
  std::uint32_t id = 0;
  int rc = 0;
  if (s.ahead.contains(path) && offset == 0) {
    // Sent ahead with the same flags: its answer may be here already.
    rc = s.AwaitAhead(path, reply);
  } else {
    LogLine(u"<--->OPEN " + FromUtf8(sftp::ShownText(path)) + (offset > 0 ? u" from " + IntToText(offset) : Text()),
            status);
    id = s.NewId();
    const std::uint32_t flags = sftp::kOpenWrite | sftp::kOpenCreate | (offset == 0 ? sftp::kOpenTruncate : 0);
    rc = s.Exchange(sftp::OpenPacket(id, path, flags), id, reply);
  }
  if (rc != 1 || reply.type != sftp::kHandle) {
    LogLine(rc != 1 ? Failure(rc, s.ssh) : u"!!--- " + StatusText(reply), status);
    if (rc != 1) Drop();
    return -1;
  }
  const std::string handle = reply.handle;
  LogLine(u">---<OK", status);
  LogLine(u"<--->WRITE " + IntToText(size - offset) + u" bytes, CLOSE" + (sizeAfter ? Text(u", STAT") : Text()),
          status);

  // Pipelined: up to kMaxOutstanding WRITE requests in flight, then CLOSE
  // (and STAT) right behind the last one without waiting; the server answers
  // in any order, but does them in order.
  std::map<std::uint32_t, std::size_t> writes;
  std::uint32_t closeId = 0, statId = 0;
  bool closeAnswered = false, statAnswered = !sizeAfter;
  std::int64_t read = offset;
  std::int64_t acknowledged = offset;
  std::string chunk(kWriteChunk, '\0');
  std::string body;
  Text failure;
  int lastPercent = -1;
  s.Progressed();
  while (failure.empty() && !(closeAnswered && statAnswered)) {
    while (writes.size() < kMaxOutstanding && read < size && s.outgoing.size() - s.outgoingSent < 2 * kWriteChunk) {
      const auto want = static_cast<std::size_t>(std::min<std::int64_t>(kWriteChunk, size - read));
      if (!observer.BeforeBlock(want)) {
        failure = u"!!--- Stopped";
        break;
      }
      const ssize_t got = ::pread(file, chunk.data(), want, read);
      if (got != static_cast<ssize_t>(want)) {
        // The file shrank or could not be read: nothing made up is sent.
        failure = u"!!--- Unable to read " + shownName;
        break;
      }
      id = s.NewId();
      sftp::AppendWritePacket(s.outgoing, id, handle, static_cast<std::uint64_t>(read),
                              std::string_view(chunk.data(), static_cast<std::size_t>(got)));
      observer.AfterBlock(observer.WantsBytes() ? chunk.data() : nullptr, static_cast<std::size_t>(got));
      writes[id] = static_cast<std::size_t>(got);
      read += got;
    }
    if (!failure.empty()) break;
    if (read == size && closeId == 0) {
      closeId = s.NewId();
      s.outgoing += sftp::HandlePacket(sftp::kClose, closeId, handle);
      if (sizeAfter != nullptr) {
        statId = s.NewId();
        s.outgoing += sftp::PathPacket(sftp::kStat, statId, path);
      }
    }
    const long moved = s.Pump();
    if (moved < 0) {
      failure = Failure(static_cast<int>(moved), s.ssh);
      break;
    }
    int got = 0;
    while (failure.empty() && (got = s.incoming.Next(body)) == 1) {
      if (!sftp::ParseReply(body, reply)) {
        failure = u"!!--- Malformed answer from the server";
      } else if (reply.id == closeId && closeId != 0) {
        closeAnswered = true;
        if (reply.type != sftp::kStatus || reply.status != sftp::kOk) failure = u"!!--- " + StatusText(reply);
      } else if (reply.id == statId && statId != 0) {
        statAnswered = true;
        *sizeAfter = reply.type == sftp::kAttrs && reply.attributes.hasSize
                         ? static_cast<std::int64_t>(std::min<std::uint64_t>(reply.attributes.size, INT64_MAX))
                         : -1;
      } else if (s.Settle(reply)) {
        // The answer to a request of another file's: not this upload's.
      } else if (const auto it = writes.find(reply.id); it == writes.end() || reply.type != sftp::kStatus) {
        failure = u"!!--- Malformed answer from the server";
      } else if (reply.status != sftp::kOk) {
        failure = u"!!--- " + StatusText(reply);
      } else {
        acknowledged += static_cast<std::int64_t>(it->second);
        writes.erase(it);
        lastProgressTime_.store(clock_.MonotonicSeconds());
        const int percent = size > 0 ? static_cast<int>(acknowledged * 100 / size) : 100;
        if (percent != lastPercent) {
          lastPercent = percent;
          if (progress != nullptr) progress->SetProgress(percent);
          if (status != nullptr) status->SetStatusText(IntToText(acknowledged) + u" / " + IntToText(size));
        }
      }
    }
    if (got < 0) failure = u"!!--- Malformed answer from the server";
    if (failure.empty() && moved == 0) {
      const int w = s.Wait(!s.outgoing.empty());
      if (w != 1) failure = Failure(w, s.ssh);
    }
  }
  if (failure.empty() && acknowledged != size) failure = u"!!--- Malformed answer from the server";
  if (!failure.empty()) {
    // Requests still in flight leave the channel in no state to go on with.
    LogLine(failure, status);
    Drop();
    return -1;
  }
  LogLine(u">---<" + IntToText(acknowledged - offset) + u" bytes written, OK" +
              (sizeAfter ? u", size " + IntToText(*sizeAfter) : Text()),
          status);
  return 1;
}

int SftpSession::Remove(TextView name, StatusTarget* status) {
  if (!Connected()) return -1;
  Impl& s = *impl_;
  const std::string path = JoinRemotePath(folder_, Utf16ToUtf8(name));
  LogLine(u"<--->REMOVE " + FromUtf8(sftp::ShownText(path)), status);
  sftp::Reply reply;
  const std::uint32_t id = s.NewId();
  const int rc = s.Exchange(sftp::PathPacket(sftp::kRemove, id, path), id, reply);
  if (rc != 1) {
    LogLine(Failure(rc, s.ssh), status);
    Drop();
    return -1;
  }
  LogLine(u">---<" + StatusText(reply), status);
  return reply.type == sftp::kStatus && reply.status == sftp::kOk ? 1 : -1;
}

int SftpSession::Rename(TextView from, TextView to, StatusTarget* status) {
  if (!Connected()) return -1;
  Impl& s = *impl_;
  const std::string source = JoinRemotePath(folder_, Utf16ToUtf8(from));
  const std::string target = JoinRemotePath(folder_, Utf16ToUtf8(to));
  LogLine(u"<--->RENAME " + FromUtf8(sftp::ShownText(source)) + u" " + FromUtf8(sftp::ShownText(target)), status);
  sftp::Reply reply;
  const std::uint32_t id = s.NewId();
  const int rc = s.Exchange(posixRename_ ? sftp::PosixRenamePacket(id, source, target)
                                         : sftp::RenamePacket(id, source, target),
                            id, reply);
  if (rc != 1) {
    LogLine(Failure(rc, s.ssh), status);
    Drop();
    return -1;
  }
  LogLine(u">---<" + StatusText(reply), status);
  return reply.type == sftp::kStatus && reply.status == sftp::kOk ? 1 : -1;
}

int SftpSession::SetModificationTime(TextView name, std::int64_t epochSeconds, StatusTarget* status) {
  if (!Connected()) return -1;
  Impl& s = *impl_;
  const std::string path = JoinRemotePath(folder_, Utf16ToUtf8(name));
  // Version 3 carries 32-bit times.
  const auto seconds = static_cast<std::uint32_t>(std::clamp<std::int64_t>(epochSeconds, 0, UINT32_MAX));
  LogLine(u"<--->SETSTAT " + FromUtf8(sftp::ShownText(path)) + u" mtime " + IntToText(epochSeconds), status);
  sftp::Reply reply;
  const std::uint32_t id = s.NewId();
  const int rc = s.Exchange(sftp::SetTimesPacket(id, path, seconds, seconds), id, reply);
  if (rc != 1) {
    LogLine(Failure(rc, s.ssh), status);
    Drop();
    return -1;
  }
  LogLine(u">---<" + StatusText(reply), status);
  return reply.type == sftp::kStatus && reply.status == sftp::kOk ? 1 : 0;
}

int SftpSession::SetModificationTimeLater(TextView name, std::int64_t epochSeconds, StatusTarget* status) {
  if (!Connected()) return -1;
  Impl& s = *impl_;
  const std::string path = JoinRemotePath(folder_, Utf16ToUtf8(name));
  const auto seconds = static_cast<std::uint32_t>(std::clamp<std::int64_t>(epochSeconds, 0, UINT32_MAX));
  LogLine(u"<--->SETSTAT " + FromUtf8(sftp::ShownText(path)) + u" mtime " + IntToText(epochSeconds), status);
  const std::uint32_t id = s.NewId();
  s.SendDeferred(id, {false, path}, sftp::SetTimesPacket(id, path, seconds, seconds));
  return 1;
}

void SftpSession::OpenAhead(TextView remoteName, StatusTarget* status) {
  Impl& s = *impl_;
  const std::string path = JoinRemotePath(folder_, Utf16ToUtf8(remoteName));
  if (!Connected() || s.ahead.size() >= kMaxOpenAhead || s.ahead.contains(path)) return;
  LogLine(u"<--->OPEN " + FromUtf8(sftp::ShownText(path)) + u" (ahead)", status);
  const std::uint32_t id = s.NewId();
  s.ahead[path] = id;
  s.SendDeferred(id, {true, path},
                 sftp::OpenPacket(id, path, sftp::kOpenWrite | sftp::kOpenCreate | sftp::kOpenTruncate));
}

std::vector<std::string> SftpSession::OpenAheadPaths() const {
  std::vector<std::string> paths;
  for (const auto& [path, id] : impl_->ahead) paths.push_back(path);
  return paths;
}

void SftpSession::AbandonOpenAhead(const std::string& path, StatusTarget* status) {
  Impl& s = *impl_;
  if (!s.ahead.contains(path) || !Connected()) return;
  sftp::Reply reply;
  int rc = s.AwaitAhead(path, reply);
  if (rc == 1 && reply.type == sftp::kHandle) {
    // Nobody else sends to this path meanwhile: the file is the one the
    // OPEN made (or emptied).
    LogLine(u"<--->CLOSE, REMOVE " + FromUtf8(sftp::ShownText(path)) + u" (not taken)", status);
    s.outgoing += sftp::HandlePacket(sftp::kClose, s.NewId(), reply.handle);
    const std::uint32_t id = s.NewId();
    rc = s.Exchange(sftp::PathPacket(sftp::kRemove, id, path), id, reply);
    if (rc == 1) LogLine(u">---<" + StatusText(reply), status);
  }
  if (rc != 1) {
    LogLine(Failure(rc, s.ssh), status);
    Drop();
  }
}

int SftpSession::ListFolder(std::vector<SftpListEntry>& entries, StatusTarget* status) {
  entries.clear();
  if (!Connected()) return -1;
  Impl& s = *impl_;
  LogLine(u"<--->OPENDIR " + FromUtf8(sftp::ShownText(folder_)), status);
  sftp::Reply reply;
  std::uint32_t id = s.NewId();
  int rc = s.Exchange(sftp::PathPacket(sftp::kOpendir, id, folder_), id, reply);
  if (rc == 1 && reply.type != sftp::kHandle) {
    LogLine(u"!!--- " + StatusText(reply), status);
    return -1;
  }
  const std::string handle = reply.handle;
  // A server that never says "end" (or sends empty batches) stops being
  // asked after kMaxListing rounds; the listing then ends where it got to.
  bool cut = false;
  for (std::size_t round = 0; rc == 1; ++round) {
    if (round >= kMaxListing || entries.size() >= kMaxListing) {
      cut = true;
      break;
    }
    id = s.NewId();
    rc = s.Exchange(sftp::HandlePacket(sftp::kReaddir, id, handle), id, reply);
    if (rc != 1 || reply.type != sftp::kName) break;
    for (auto& name : reply.names) {
      if (name.name == "." || name.name == ".." || entries.size() >= kMaxListing) continue;
      entries.push_back({Utf8ToUtf16(name.name), name.attributes.IsFolder(),
                         static_cast<std::int64_t>(std::min<std::uint64_t>(name.attributes.size, INT64_MAX))});
    }
  }
  if (rc != 1) {
    LogLine(Failure(rc, s.ssh), status);
    Drop();
    return -1;
  }
  id = s.NewId();
  const bool ended = cut || (reply.type == sftp::kStatus && reply.status == sftp::kEof);
  LogLine(u">---<" + IntToText(static_cast<long long>(entries.size())) + u" entries" +
              (cut ? Text(u" (cut short)") : Text()),
          status);
  rc = s.Exchange(sftp::HandlePacket(sftp::kClose, id, handle), id, reply);
  if (rc != 1) {
    LogLine(Failure(rc, s.ssh), status);
    Drop();
    return -1;
  }
  return ended ? 1 : -1;
}

void SftpSession::Quit(StatusTarget* status) {
  Impl& s = *impl_;
  if (s.ssh == nullptr) return;
  LogLine(u"<--->QUIT", status);
  const int saved = s.timeOut;
  s.timeOut = std::min(s.timeOut, kQuitLimitMs);
  if (s.channel != nullptr && !stop_.stop_requested()) {
    // What was sent ahead and not taken goes; late answers are logged.
    for (const std::string& path : OpenAheadPaths()) AbandonOpenAhead(path, status);
    std::string body;
    sftp::Reply reply;
    s.Progressed();
    while (s.channel != nullptr && !s.deferred.empty() && s.NextPacket(body) == 1 && sftp::ParseReply(body, reply)) {
      s.Settle(reply);
    }
  }
  if (s.ssh == nullptr) {
    s.timeOut = saved;
    return;
  }
  if (s.channel != nullptr && !stop_.stop_requested()) {
    s.Drive([&] { return libssh2_channel_close(s.channel); });
  }
  if (!stop_.stop_requested()) {
    s.Drive([&] { return libssh2_session_disconnect_ex(s.ssh, SSH_DISCONNECT_BY_APPLICATION, "bye", ""); });
  }
  s.timeOut = saved;
  s.Free(true);
}

void SftpSession::Drop() { impl_->Free(false); }

Text BrowseSftpServer(SftpSession& session, const SftpLogin& login, TextView folderPath, StatusTarget* status) {
  if (session.Connect(login, status) != 1) {
    return u"!!Impossible to initialise connection (perhaps an adress problem...)!!";
  }
  Text result;
  std::vector<SftpListEntry> entries;
  if (session.EnterFolderPath(folderPath, status) != 1) {
    result = u"!!Error while opening the directory!! " + Text(folderPath);
  } else if (session.ListFolder(entries, status) != 1) {
    result = u"!!Error while reading FTP content!!";
  } else {
    result = SftpListingText(entries);
  }
  session.Quit(status);
  return result;
}

}  // namespace wexmoor
