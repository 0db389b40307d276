#include "ftp/part_upload.h"

#include "ftp/remote_session.h"
#include "ftp/reply_reader.h"

namespace wexmoor {
namespace {

// The reader's texts for a lost or silent control connection.
bool ConnectionLost(TextView reply) { return reply.starts_with(u"!!"); }
bool Gone(TextView reply) { return ConnectionLost(reply) || ReplyHasCode(reply, u"421") != 0; }

// One command and one reply. A command holding a line break is not sent
// (it would smuggle a second command): the reply is then "!!".
Text Exchange(FtpSession& session, int connection, ServerRecord& server, TextView command, StatusTarget* status) {
  if (command.find_first_of(TextView(u"\r\n\0", 3)) != TextView::npos) {
    LogLine(session, u"!!--- Command refused: a name holds a line break", status);
    return u"!!";
  }
  SendCommand(session, connection, server, Text(command) + u"\r\n", status);
  return ReadReply(session, connection, server, 0, status);
}

}  // namespace

std::int64_t SizeReplyValue(TextView reply) {
  const int at = ReplyHasCode(reply, u"213");
  if (at == 0) return -1;
  std::size_t i = static_cast<std::size_t>(at - 1) + 3;
  while (i < reply.size() && reply[i] == u' ') ++i;
  std::int64_t value = 0;
  bool any = false;
  for (; i < reply.size() && reply[i] >= u'0' && reply[i] <= u'9'; ++i) {
    if (value > (INT64_MAX - 9) / 10) return -1;
    value = value * 10 + (reply[i] - u'0');
    any = true;
  }
  return any ? value : -1;
}

Text PartName(TextView remoteName) { return Text(remoteName) + u".part"; }

std::int64_t ListingLineSize(TextView line) {
  std::size_t i = 0;
  for (int word = 0; word < 4; ++word) {
    while (i < line.size() && line[i] == u' ') ++i;
    if (i >= line.size()) return -1;
    while (i < line.size() && line[i] != u' ') ++i;
  }
  while (i < line.size() && line[i] == u' ') ++i;
  std::int64_t value = 0;
  bool any = false;
  for (; i < line.size() && line[i] >= u'0' && line[i] <= u'9'; ++i) {
    if (value > (INT64_MAX - 9) / 10) return -1;
    value = value * 10 + (line[i] - u'0');
    any = true;
  }
  if (!any || (i < line.size() && line[i] != u' ')) return -1;
  return value;
}

RemoteSizeAnswer RemoteSize(FtpSession& session, int connection, ServerRecord& server, TextView name,
                            std::int64_t& size, StatusTarget* status, bool askListing) {
  size = -1;
  const Text reply = Exchange(session, connection, server, u"SIZE " + Text(name), status);
  if (Gone(reply)) return RemoteSizeAnswer::kServerGone;
  size = SizeReplyValue(reply);
  if (size >= 0) return RemoteSizeAnswer::kSize;
  // 550 means there is no such file; only a refused command asks the listing.
  if (ReplyHasCode(reply, u"550") != 0) return RemoteSizeAnswer::kMissing;
  const bool unknownCommand = ReplyHasCode(reply, u"500") != 0 || ReplyHasCode(reply, u"502") != 0;
  if (!askListing) return unknownCommand ? RemoteSizeAnswer::kUnsupported : RemoteSizeAnswer::kRefused;
  Text listing;
  const int listed = ListFolder(session, connection, server, name, listing, status);
  if (listed == 1) {
    const std::size_t end = listing.find_first_of(u"\r\n");
    size = ListingLineSize(TextView(listing).substr(0, end));
    if (size >= 0) return RemoteSizeAnswer::kListedSize;
  }
  if (Gone(session.lastReply)) return RemoteSizeAnswer::kServerGone;
  return unknownCommand ? RemoteSizeAnswer::kUnsupported : RemoteSizeAnswer::kRefused;
}

RenameAnswer RenameRemote(FtpSession& session, int connection, ServerRecord& server, TextView from, TextView to,
                          Text& reply, StatusTarget* status, bool fromAccepted) {
  if (!fromAccepted) {
    reply = Exchange(session, connection, server, u"RNFR " + Text(from), status);
    if (Gone(reply)) return RenameAnswer::kServerGone;
    if (ReplyHasCode(reply, u"350") == 0) return RenameAnswer::kFromRefused;
  }
  reply = Exchange(session, connection, server, u"RNTO " + Text(to), status);
  if (Gone(reply)) return RenameAnswer::kServerGone;
  return ReplyHasCode(reply, u"250") != 0 ? RenameAnswer::kDone : RenameAnswer::kToRefused;
}

int DeleteRemote(FtpSession& session, int connection, ServerRecord& server, TextView name, StatusTarget* status) {
  const Text reply = Exchange(session, connection, server, u"DELE " + Text(name), status);
  if (Gone(reply)) return -1;
  return ReplyHasCode(reply, u"250") != 0 ? 1 : 0;
}

}  // namespace wexmoor
