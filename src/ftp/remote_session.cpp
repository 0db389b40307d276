#include "ftp/remote_session.h"

#include "ftp/control_connection.h"
#include "ftp/data_channel.h"
#include "ftp/listing_parser.h"
#include "platform/socket.h"

namespace wexmoor {

Text OpenRemoteSession(FtpSession& session, const ServerRecord& server, int closeAfter, int wantListing,
                       StatusTarget* status) {
  ServerRecord copy = server;
  if (copy.timeOut == 0) copy.timeOut = 10000;
  Text result;
  const ServerAddressParts parts = SplitServerAddress(copy.address);
  copy.address = parts.host;
  OpenControlConnection(session, copy, status);
  if (status != nullptr) status->SetStatusText(u"Connected to port:" + IntToText(session.controlConnection()));
  if (session.controlConnection() == 0) {
    result = u"!!Impossible to initialise connection (perhaps an adress problem...)!!";
    LogLine(session, result, status);
    return result;
  }
  if (Login(session, session.controlConnection(), copy, status) != 1) {
    result = u"!!Impossible to initialise connection (perhaps a login, or password problem...)!!";
    LogLine(session, result, status);
    return result;
  }
  std::size_t from = 0;
  while (from < parts.folderPath.size()) {
    std::size_t slash = parts.folderPath.find(u'/', from);
    if (slash == Text::npos) slash = parts.folderPath.size();
    const Text folder = parts.folderPath.substr(from, slash - from);
    from = slash + 1;
    const int cwd = ChangeFolder(session, session.controlConnection(), copy, folder, status);
    if (cwd != 1 && cwd != 550) {
      result = u"!!Error while opening the directory!! " + folder + u" (" + IntToText(cwd) + u")";
      LogLine(session, result, status);
    } else if (cwd == 550 && MakeAndEnterFolder(session, session.controlConnection(), copy, folder, status) != 1) {
      result = u"!!Error while creating the directory!! " + folder;
    }
  }
  if (wantListing != 0) {
    Text listing;
    if (ListFolder(session, session.controlConnection(), copy, u"", listing, status) == 1) {
      result = ParseListing(listing);
    } else {
      listing.clear();
      result = u"!!Error while reading FTP content!!";
      LogLine(session, result, status);
    }
  }
  if (closeAfter != 0) Disconnect(session, status);
  return result;
}

int PrepareUploadSession(FtpSession& session, const ServerRecord& server, int wantListing, StatusTarget* status) {
  return OpenRemoteSession(session, server, 0, wantListing, status).starts_with(u"!!") ? 0 : 1;
}

Text BrowseServer(FtpSession& session, const ServerRecord& server, StatusTarget* status) {
  return OpenRemoteSession(session, server, 1, 1, status);
}

int ChangeFolder(FtpSession& session, int connection, ServerRecord& server, TextView folder,
                 StatusTarget* status) {
  CommandReply reply;
  const int r = RunCommand(session, connection, server, u"CWD " + Text(folder) + u"\r\n", u"250|550", reply, status);
  if (ReplyHasCode(reply.reply, u"550") != 0) return 550;
  return r;
}

int MakeFolder(FtpSession& session, int connection, ServerRecord& server, TextView folder,
               StatusTarget* status) {
  if (folder.empty()) return -1;
  if (folder.find_first_of(TextView(u"\r\n\0", 3)) != TextView::npos) {
    LogLine(session, u"!!--- Command refused: a name holds a line break", status);
    return -1;
  }
  // One reply, whatever its code: a refusal is answered at once.
  SendCommand(session, connection, server, u"MKD " + Text(folder) + u"\r\n", status);
  const Text reply = ReadReply(session, connection, server, 0, status);
  if (reply.starts_with(u"!!")) return 0;
  return ReplyHasCode(reply, u"257") != 0 ? 1 : -1;
}

int MakeAndEnterFolder(FtpSession& session, int connection, ServerRecord& server, TextView folder,
                       StatusTarget* status) {
  const int made = MakeFolder(session, connection, server, folder, status);
  if (made != 1 && session.lastReply.starts_with(u"!!")) return 0;
  const int entered = ChangeFolder(session, connection, server, folder, status);
  if (entered == 1) return 1;
  if (session.lastReply.starts_with(u"!!")) return 0;
  LogLine(session, u"!!Error while creating the directory!! " + Text(folder), status);
  return -1;
}

int ListFolder(FtpSession& session, int connection, ServerRecord& server, TextView arguments, Text& listing,
               StatusTarget* status) {
  if (connection == 0) {
    LogLine(session, u"!!--- No Connection ID", status);
    return -1;
  }
  if (OpenDataChannel(session, connection, server, status) != 1) return -1;
  Text argumentText(arguments);
  if (!argumentText.empty() && argumentText.front() != u' ') argumentText.insert(argumentText.begin(), u' ');
  CommandReply reply;
  int r = RunCommand(session, connection, server, u"LIST" + argumentText, u"125|150", reply, status);
  Text message;
  if (ReplyHasCode(reply.reply, u"425") != 0) {
    r = -1;
    if (server.active != 0) message = u"!!Error - You should try passive mode";
  }
  if (r == 1) {
    const int completionSeen = ReplyHasCode(reply.reply, u"226");
    AwaitDataConnection(session, server);
    r = ReceiveListing(session, connection, server, completionSeen, listing, status);
    CloseDataChannel(session, status);
    if (r == -2) {
      const Text closing = ReadReply(session, connection, server, 0, status);
      if (ReplyHasCode(closing, u"226") != 0) {
        r = 1;
      } else {
        message = u"!!--- TimeOut";
      }
    }
  }
  LogLine(session, message, status);
  return r;
}

int ReceiveListing(FtpSession& session, int connection, ServerRecord& server, int completionSeen, Text& listing,
                   StatusTarget* status) {
  Text data;
  Text controlReply;
  if (session.dataConnection == 0) {
    LogLine(session, u"!!--- No Connection ID", status);
    listing.clear();
    return -1;
  }
  if (server.timeOut == 0) server.timeOut = 10000;
  const std::int64_t start = NetworkMs();
  for (;;) {
    const Text chunk = ReadReply(session, session.dataConnection, server, 1, status);
    if (chunk.find(u"TimeOut") != Text::npos && completionSeen == 0) {
      // Nothing came and the peer has closed (or gone quiet): our side
      // closes too, which a TLS server waits for before its 226.
      CloseDataChannel(session, status);
      controlReply = ReadReply(session, connection, server, 0, status);
      if (ReplyHasCode(controlReply, u"226") != 0) {
        const Text more = ReadReply(session, session.dataConnection, server, 1, status);
        if (!more.starts_with(u"!!")) data += more;
        // The transfer is complete: what came is the listing, also when
        // nothing came (an empty folder).
        break;
      }
    } else if (!chunk.starts_with(u"!!")) {
      data += chunk;
    }
    if (!data.empty() || NetworkMs() - start > server.timeOut || completionSeen != 0 ||
        session.StopRequested()) {
      break;
    }
  }
  listing = data;
  return ReplyHasCode(controlReply, u"226") != 0 || completionSeen != 0 ? 1 : -2;
}

}  // namespace wexmoor
