#include "ftp/control_connection.h"

#include <algorithm>

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

ServerAddressParts SplitServerAddress(TextView address) {
  Text text(address);
  std::replace(text.begin(), text.end(), u'\\', u'/');
  ServerAddressParts parts;
  const std::size_t slash = text.find(u'/');
  if (slash == Text::npos) {
    parts.host = text;
    return parts;
  }
  parts.host = text.substr(0, slash);
  parts.folderPath = text.substr(slash + 1);
  if (parts.folderPath == u"/") parts.folderPath.clear();
  if (!parts.folderPath.empty() && parts.folderPath.back() != u'/') parts.folderPath += u'/';
  return parts;
}

void OpenControlConnection(FtpSession& session, ServerRecord& server, StatusTarget* status) {
  if (session.controlConnection() != 0) return;
  const int port = server.port == 0 ? 21 : server.port;
  const int limit = server.timeOut > 0 ? server.timeOut : 10000;
  const int handle = session.StopRequested()
                         ? 0
                         : ConnectTcp(Utf16ToUtf8(server.address), port, limit, session.StopToken());
  session.SetControlConnection(handle);
  session.dataConnection = 0;
  session.Log().Clear();
  if (handle == 0) {
    LogLine(session, u"!!--- Unable to connect to specified server", status);
    return;
  }
  LogLine(session, u"----- Connected to " + server.address, status);
  const Text greeting = ReadReply(session, handle, server, 0, status);
  if (ReplyHasCode(greeting, u"220") != 0) return;
  if (session.controlConnection() == handle) {
    CloseSocket(handle);
    session.SetControlConnection(0);
  }
  if (greeting.starts_with(u"!!")) {
    LogLine(session, greeting, status);
  } else {
    LogLine(session, u"!! Uncorrect answer from the server: " + greeting, status);
  }
}

int Login(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status) {
  CommandReply reply;
  if (RunCommand(session, connection, server, u"USER " + server.login, u"331", reply, status) != 1) {
    Disconnect(session, status);
    return -1;
  }
  if (RunCommand(session, connection, server, u"PASS " + server.password, u"230", reply, status) != 1) {
    Disconnect(session, status);
    return -1;
  }
  if (RunCommand(session, connection, server, u"TYPE I", u"200", reply, status) != 1) {
    const int again = RunCommand(session, connection, server, u"TYPE I", u"200", reply, status);
    if (again != 1) return again;
  }
  if (server.useUtf8Opt != 0) RunCommand(session, connection, server, u"opts utf8 on", u"200", reply, status);
  return 1;
}

int Disconnect(FtpSession& session, StatusTarget* status) {
  CloseDataChannel(session, status);
  const int control = session.controlConnection();
  if (control != 0) {
    const std::string quit = Utf16ToUtf8(u"QUIT\r\n");
    SendSome(control, quit.data(), quit.size());
    CloseSocket(control);
    session.SetControlConnection(0);
  }
  session.visibleAddress.clear();
  return 1;
}

}  // namespace wexmoor
