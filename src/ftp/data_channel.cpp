#include "ftp/data_channel.h"

#include <algorithm>
#include <utility>

#include "ftp/certificate_check.h"
#include "ftp/data_address.h"
#include "ftp/reply_reader.h"
#include "ftp/visible_address.h"
#include "platform/code_page.h"
#include "platform/socket.h"

namespace wexmoor {
namespace {

constexpr int kDefaultTimeOut = 10000;
constexpr int kDataShutdownMs = 5000;
// A passive address asked ahead is used only this soon after: a server may
// stop listening on it when no one dials for long.
constexpr std::int64_t kPassiveAheadFreshMs = 5000;

int PassiveWith(FtpSession& session, int connection, ServerRecord& server, TextView command,
                StatusTarget* status, bool& refused);

int TimeOutOf(const ServerRecord& server) { return server.timeOut > 0 ? server.timeOut : kDefaultTimeOut; }

// The text between the first "(" and the next ")", split at ",".
std::vector<Text> PasvFields(TextView line) {
  std::vector<Text> fields;
  const std::size_t open = line.find(u'(');
  TextView inner;
  if (open != TextView::npos) {
    const std::size_t close = line.find(u')', open + 1);
    if (close != TextView::npos) inner = line.substr(open + 1, close - open - 1);
  }
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = inner.find(u',', from);
    fields.emplace_back(inner.substr(from, comma == TextView::npos ? TextView::npos : comma - from));
    if (comma == TextView::npos) break;
    from = comma + 1;
  }
  fields.resize(std::max<std::size_t>(fields.size(), 6));
  return fields;
}

}  // namespace

Text ParsePasvAddress(TextView line) {
  const std::vector<Text> f = PasvFields(line);
  return f[0] + u"." + f[1] + u"." + f[2] + u"." + f[3];
}

int ParsePasvPort(TextView line) {
  const std::vector<Text> f = PasvFields(line);
  // A hostile reply may carry huge numbers: bound them before the arithmetic.
  const auto bounded = [](long long v) { return std::clamp<long long>(v, -(1LL << 40), 1LL << 40); };
  const long long port = bounded(TextToInt(f[4])) * 256 + bounded(TextToInt(f[5]));
  return static_cast<int>(std::clamp<long long>(port, -0x7fffffffLL, 0x7fffffffLL));
}

bool PassiveAheadFresh(const FtpSession& session) {
  return !session.passiveAhead.empty() &&
         session.clock().MonotonicMs() - session.passiveAheadMs <= kPassiveAheadFreshMs;
}

int OpenDataChannel(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status) {
  if (server.active != 0) return OpenActive(session, connection, server, status);
  int family = 0;
  PeerAddress(connection, &family);
  if (family == 6) return OpenExtendedPassive(session, connection, server, status);
  bool refused = false;
  if (PassiveWith(session, connection, server, u"PASV", status, refused) == 1) return 1;
  const int second = PassiveWith(session, connection, server, u"passive", status, refused);
  if (second == 1 || !refused || session.StopRequested()) return second;
  // Both PASV forms refused: a server may still offer the extended form.
  return OpenExtendedPassive(session, connection, server, status) == 1 ? 1 : second;
}

int OpenExtendedPassive(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status) {
  if (session.dataConnection != 0) return 1;
  if (session.listener != 0) CloseDataChannel(session, status);
  CommandReply reply;
  int result = RunCommand(session, connection, server, u"EPSV", u"229", reply, status);
  Text message;
  if (result == 1) {
    const Text address = Utf8ToUtf16(PeerAddress(connection));
    const int port = ParseEpsvPort(reply.line);
    message = u"----- Connection to [" + address + u" Port: " + IntToText(port) + u"]";
    const int handle = session.StopNoticed() || port == 0 || address.empty()
                           ? 0
                           : ConnectTcp(Utf16ToUtf8(address), port, TimeOutOf(server), session.StopToken());
    session.dataConnection = handle;
    session.dataConnectionKind = u"server";
    if (handle == 0) {
      message = u"!!--- Unable to establish EPSV " + message;
      result = -1;
    }
  } else {
    message = u"!!--- Error while EPSV: " + reply.reply;
  }
  LogLine(session, message, status);
  return result;
}

int OpenPassive(FtpSession& session, int connection, ServerRecord& server, TextView command,
                StatusTarget* status) {
  bool refused = false;
  return PassiveWith(session, connection, server, command, status, refused);
}

namespace {

// OpenPassive; `refused` tells whether the server gave no 227 (as opposed to
// a data connection that could not be made).
int PassiveWith(FtpSession& session, int connection, ServerRecord& server, TextView command,
                StatusTarget* status, bool& refused) {
  refused = false;
  if (session.dataConnection != 0) return 1;
  if (session.listener != 0) CloseDataChannel(session, status);
  CommandReply reply;
  int result = 0;
  const bool fresh = PassiveAheadFresh(session);
  const Text ahead = std::exchange(session.passiveAhead, Text());
  if (command == u"PASV" && fresh) {
    // Asked with the previous file's last command: the server listens already.
    reply.reply = ahead;
    reply.line = ahead;
    reply.code = ReplyCode(ahead);
    result = 1;
  } else {
    result = RunCommand(session, connection, server, command, u"227", reply, status);
  }
  // No 227 came (a refusal, or replies the reader gave up on): not a failed dial.
  refused = result != 1 && session.controlConnection() != 0 && !session.StopRequested();
  Text message;
  if (result == 1) {
    const Text named = ParsePasvAddress(reply.line);
    const int port = ParsePasvPort(reply.line);
    // The data goes to the server we are talking to, whatever the reply
    // named (a private address behind NAT, a third party, a name).
    const DataAddressChoice choice = ChooseDataAddress(named, Utf8ToUtf16(PeerAddress(connection)));
    const Text& address = choice.address;
    if (choice.replaced) {
      LogLine(session, u"----- PASV named " + named + u", using the server's address " + address + u" instead",
              status);
    }
    message = u"----- Connection to [" + address + u" Port: " + IntToText(port) + u"]";
    const int handle = session.StopNoticed() || address.empty() || !UsableDataPort(port)
                           ? 0
                           : ConnectTcp(Utf16ToUtf8(address), port, TimeOutOf(server), session.StopToken());
    session.dataConnection = handle;
    session.dataConnectionKind = u"server";
    if (handle == 0) {
      message = u"!!--- Unable to establish PASV " + message;
      result = -1;
    }
  } else {
    message = u"!!--- Error while PASV: " + reply.reply;
  }
  LogLine(session, message, status);
  return result;
}

}  // namespace

int OpenActive(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status) {
  Text message;
  if (session.listener == 0) {
    if (session.dataConnection != 0) CloseDataChannel(session, status);
    int family = 0;
    const std::string local = LocalAddress(connection, &family);
    const bool six = family == 6;
    if (six) {
      session.visibleAddress = Utf8ToUtf16(local);  // the router option is for IPv4 only
    } else if (session.visibleAddress.empty()) {
      session.visibleAddress = server.ipRouter != 0 ? LookUpVisibleAddress(session) : LocalAddress(session);
    }
    if (session.visibleAddress.empty()) {
      message = u"----- Couldn't determine the visible IP Address - PORT mode unavailable";
    } else {
      const int port = session.ports().Next();
      session.portVerb = six ? u"EPRT" : u"PORT";
      session.portArgument =
          six ? EprtArgument(2, session.visibleAddress, port)
              : ReplaceAll(session.visibleAddress + u"." + IntToText(port / 256) + u"." + IntToText(port % 256), u".",
                           u",");
      session.listenerPort = port;
      session.listener = six ? ListenTcp6(port) : ListenTcp(port);
      LogLine(session, u"----- Internal PORT " + IntToText(port) + u" has been created", status);
    }
  }
  int result = -1;
  if (session.listener != 0) {
    message.clear();
    CommandReply reply;
    result = RunCommand(session, connection, server, session.portVerb + u" " + session.portArgument, u"200", reply,
                        status);
    if (result != 1 && session.listener != 0) {
      CloseSocket(session.listener);
      session.listener = 0;
      message = u"!!--- The server does not answer to the PORT command!";
    }
  } else {
    message = u"!!--- Unable to establish Data PORT " + message;
    result = -1;
  }
  LogLine(session, message, status);
  return result;
}

namespace {

// TLS on a fresh data connection, resuming the control connection's session.
// Under TLS 1.3 a server may take each session once: what the data
// connection is handed (read at its shutdown) is the one the next resumes.
// On failure the data connection is dropped (the transfer then reports it).
int StartDataTls(FtpSession& session, ServerRecord& server) {
  if (!session.dataProtected || session.dataConnection == 0 || session.dataTls != nullptr) return 1;
  auto stream = std::make_unique<TlsStream>(session.tls(), session.dataConnection, session.tlsHost, true, true);
  std::string error;
  bool ok = stream->Handshake(TimeOutOf(server), session.StopToken(), error);
  if (ok && CertificateFingerprint(stream->PeerCertificate()) != session.tlsFingerprint) {
    ok = false;
    error = "the data connection shows another certificate";
  }
  if (!ok) {
    if (!session.StopNoticed()) LogLine(session, u"!!--- TLS on the data connection failed: " + Utf8ToUtf16(error), nullptr);
    if (session.dataConnectionKind == u"server") CloseSocket(session.dataConnection);
    session.dataConnection = 0;
    return 0;
  }
  session.dataTls = std::move(stream);
  return 1;
}

}  // namespace

int AwaitDataConnection(FtpSession& session, ServerRecord& server) {
  if (session.listener == 0) return StartDataTls(session, server);
  const std::int64_t start = NetworkMs();
  const int limit = TimeOutOf(server);
  for (;;) {
    const WaitResult waited = WaitReadable(session.listener, 5, session.StopToken());
    if (waited == WaitResult::kStopped) {
      session.StopNoticed();
      return 0;
    }
    if (waited == WaitResult::kReady) {
      const int client = AcceptClient(session.listener);
      const Text from = client != 0 ? Utf8ToUtf16(PeerAddress(client)) : Text();
      if (client != 0 && !IsControlPeer(from, Utf8ToUtf16(PeerAddress(session.controlConnection())))) {
        // Not the server: whoever it is gets nothing, and the wait goes on.
        CloseSocket(client);
        LogLine(session, u"----- Closed a data connection from " + from + u", which is not the server", nullptr);
      } else if (client != 0) {
        session.acceptedClients.push_back(client);
        session.dataConnection = client;
        session.dataConnectionKind = u"client";
        LogLine(session, u">---< Connected to data PORT", nullptr);
        return StartDataTls(session, server);
      }
    }
    if (waited == WaitResult::kError) PauseMs(5, session.StopToken());
    if (NetworkMs() - start > limit) return 0;
  }
}

void CloseDataChannel(FtpSession& session, StatusTarget* status) {
  if (session.dataTls != nullptr) {
    // The peer reads everything before the socket goes.
    session.dataTls->Shutdown(kDataShutdownMs, session.StopToken());
    session.dataTls.reset();
  }
  if (session.dataConnection == 0 && session.listener == 0) return;
  if (session.dataConnection != 0 && session.dataConnectionKind == u"server") CloseSocket(session.dataConnection);
  if (session.listener != 0) {
    LogLine(session, u"----- Internal PORT " + IntToText(session.listenerPort) + u" has been closed", status);
    for (int client : session.acceptedClients) CloseSocket(client);
    session.acceptedClients.clear();
    CloseSocket(session.listener);
    session.listener = 0;
  }
  session.dataConnection = 0;
}

}  // namespace wexmoor
