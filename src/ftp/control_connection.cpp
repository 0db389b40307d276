#include "ftp/control_connection.h"

#include <algorithm>

#include "ftp/certificate_check.h"
#include "ftp/connection_io.h"
#include "ftp/data_channel.h"
#include "ftp/reply_reader.h"
#include "platform/code_page.h"
#include "platform/socket.h"

namespace wexmoor {

int StartNetwork(FtpSession& session) {
  if (!NetworkUsable()) {
    LogLine(session, u"!!--- Unable to start TCP/IP stack...", nullptr);
    return -1;
  }
  LogLine(session, u"----- Successfully started the TCP/IP stack...", nullptr);
  return 1;
}

namespace {

void CloseControl(FtpSession& session, int handle) {
  session.EndControlTls();
  if (session.controlConnection() == handle) {
    CloseSocket(handle);
    session.SetControlConnection(0);
  }
}

// TLS on the control connection, then the certificate: nothing else is sent
// before it is trusted. False (the caller closes) when either fails.
bool StartControlTls(FtpSession& session, int handle, const ServerRecord& server, StatusTarget* status) {
  const int limit = server.timeOut > 0 ? server.timeOut : 10000;
  session.tlsHost = Utf16ToUtf8(server.address);
  auto stream = std::make_unique<TlsStream>(session.tls(), handle, session.tlsHost, false, true);
  std::string error;
  if (!stream->Handshake(limit, session.StopToken(), error)) {
    if (session.StopNoticed()) return false;
    LogLine(session, u"!!--- TLS handshake failed: " + Utf8ToUtf16(error), status);
    return false;
  }
  const CertificateSummary summary = SummariseCertificate(stream->PeerCertificate());
  const bool verified = stream->VerifiedByStore();
  switch (DecideCertificateTrust(verified, summary.fingerprint, server.fingerprint)) {
    case TrustVerdict::kTrusted:
      break;
    case TrustVerdict::kUnknown:
      LogLine(session, u"!!--- Certificate not trusted yet, SHA-256 fingerprint " + summary.fingerprint, status);
      if (session.trustAsker != nullptr) session.trustAsker->AskTrust(server.name, summary, false);
      return false;
    case TrustVerdict::kChanged:
      LogLine(session,
              u"!!--- Certificate changed, SHA-256 fingerprint " + summary.fingerprint +
                  u" is not the trusted " + NormaliseFingerprint(server.fingerprint),
              status);
      if (session.trustAsker != nullptr) session.trustAsker->AskTrust(server.name, summary, true);
      return false;
  }
  LogLine(session,
          u"----- " + Utf8ToUtf16(stream->Version()) +
              (verified ? u", certificate verified for " + server.address
                        : u", certificate matches the trusted fingerprint"),
          status);
  session.tlsFingerprint = summary.fingerprint;
  session.controlTls = std::move(stream);
  return true;
}

bool IsAuthRefusal(TextView reply) {
  for (const char16_t* code : {u"500", u"502", u"504", u"534"}) {
    if (ReplyHasCode(reply, code) != 0) return true;
  }
  return false;
}

// AUTH TLS after the greeting. False when the connection cannot go on.
bool NegotiateExplicitTls(FtpSession& session, int handle, ServerRecord& server, StatusTarget* status) {
  CommandReply reply;
  const int result =
      RunCommand(session, handle, server, u"AUTH TLS", u"234|500|502|504|534|530|421|431", reply, status);
  if (result == 1 && reply.code == 234) {
    if (!StartControlTls(session, handle, server, status)) return false;
    if (server.protocol == kProtocolTlsIfOffered) {
      // TLS worked here once: from now on a refusal is an attack or a fault,
      // never a reason to log in in clear.
      server.protocol = kProtocolTlsRequired;
      if (session.onTlsConfirmed) session.onTlsConfirmed(server.name);
    }
    return true;
  }
  if (result == 1 && IsAuthRefusal(reply.reply) && server.protocol == kProtocolTlsIfOffered) {
    if (server.fingerprint.empty()) {
      LogLine(session, u"----- The server does not offer TLS: going on without encryption", status);
      return true;
    }
    LogLine(session, u"!!--- The server refused TLS, but a certificate was trusted for it before", status);
    return false;
  }
  if (!session.StopNoticed()) LogLine(session, u"!!--- The server refused TLS (AUTH TLS)", status);
  return false;
}

}  // namespace

bool ListsFeature(TextView featReply, TextView feature) {
  std::size_t from = 0;
  while (from < featReply.size()) {
    std::size_t end = featReply.find(u"\r\n", from);
    if (end == TextView::npos) end = featReply.size();
    TextView line = featReply.substr(from, end - from);
    from = end + 2;
    // Feature lines start with a space; the first and last carry the code.
    if (line.empty() || line.front() != u' ') continue;
    while (!line.empty() && line.front() == u' ') line.remove_prefix(1);
    const std::size_t word = line.find(u' ');
    if (ToUpperAscii(line.substr(0, word)) == ToUpperAscii(feature)) return true;
  }
  return false;
}

void OpenControlConnection(FtpSession& session, ServerRecord& server, StatusTarget* status) {
  if (session.controlConnection() != 0) return;
  if (server.protocol == kProtocolSftp) {
    session.dataConnection = 0;
    session.Log().Clear();
    LogLine(session, u"!!--- SFTP is not available in this version: choose FTP or FTP over TLS for this server",
            status);
    return;
  }
  const bool implicitTls = server.protocol == kProtocolImplicitTls;
  const int port = server.port != 0 ? server.port : implicitTls ? 990 : 21;
  const int limit = server.timeOut > 0 ? server.timeOut : 10000;
  const int handle = session.StopRequested()
                         ? 0
                         : ConnectTcp(Utf16ToUtf8(server.address), port, limit, session.StopToken());
  session.EndControlTls();
  session.SetControlConnection(handle);
  session.dataConnection = 0;
  session.Log().Clear();
  if (handle == 0) {
    LogLine(session, u"!!--- Unable to connect to specified server", status);
    return;
  }
  LogLine(session, u"----- Connected to " + server.address, status);
  if (implicitTls && !StartControlTls(session, handle, server, status)) {
    CloseControl(session, handle);
    return;
  }
  Text greeting = ReadReply(session, handle, server, 0, status);
  // "120 ready in a moment" comes before the 220.
  for (int more = 2; more > 0 && ReplyCode(greeting) >= 100 && ReplyCode(greeting) < 200; --more) {
    greeting = ReadReply(session, handle, server, 0, status);
  }
  session.greeting = greeting;
  if (ReplyCode(greeting) == 220) {
    const bool explicitTls =
        server.protocol == kProtocolTlsIfOffered || server.protocol == kProtocolTlsRequired;
    if (explicitTls && !NegotiateExplicitTls(session, handle, server, status)) CloseControl(session, handle);
    return;
  }
  CloseControl(session, handle);
  if (greeting.starts_with(u"!!")) {
    LogLine(session, greeting, status);
  } else {
    LogLine(session, u"!! Uncorrect answer from the server: " + greeting, status);
  }
}

int Login(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status) {
  CommandReply reply;
  if (RunCommand(session, connection, server, u"USER " + server.login, u"331|230", reply, status) != 1) {
    Disconnect(session, status);
    return -1;
  }
  // 230 to USER: logged in without a password.
  if (reply.code != 230 &&
      RunCommand(session, connection, server, u"PASS " + server.password, u"230", reply, status) != 1) {
    Disconnect(session, status);
    return -1;
  }
  if (session.controlTls != nullptr) {
    // Data connections in TLS too.
    if (RunCommand(session, connection, server, u"PBSZ 0", u"200", reply, status) != 1 ||
        RunCommand(session, connection, server, u"PROT P", u"200", reply, status) != 1) {
      LogLine(session, u"!!--- The server refused to protect the data connections (PROT P)", status);
      Disconnect(session, status);
      return -1;
    }
    session.dataProtected = true;
  }
  // A server that speaks UTF-8 gets every name in it, whatever the record says.
  session.featReply.clear();
  if (RunCommand(session, connection, server, u"FEAT", u"211", reply, status) == 1) session.featReply = reply.reply;
  const bool featUtf8 = ListsFeature(session.featReply, u"UTF8");
  if (RunCommand(session, connection, server, u"TYPE I", u"200", reply, status) != 1) {
    const int again = RunCommand(session, connection, server, u"TYPE I", u"200", reply, status);
    if (again != 1) return again;
  }
  if (featUtf8 || server.useUtf8Opt != 0) {
    // Some servers switch to UTF-8 only when asked; a refusal changes nothing.
    RunCommand(session, connection, server, featUtf8 ? u"OPTS UTF8 ON" : u"opts utf8 on", u"200", reply, status);
  }
  if (featUtf8) server.useUtf8 = 1;
  return 1;
}

int Disconnect(FtpSession& session, StatusTarget* status) {
  CloseDataChannel(session, status);
  const int control = session.controlConnection();
  if (control != 0) {
    const std::string quit = Utf16ToUtf8(u"QUIT\r\n");
    ConnectionSend(session, control, quit.data(), quit.size());
    if (session.controlTls != nullptr) session.controlTls->Shutdown(0, session.StopToken());
    session.EndControlTls();
    CloseSocket(control);
    session.SetControlConnection(0);
  }
  session.visibleAddress.clear();
  return 1;
}

}  // namespace wexmoor
