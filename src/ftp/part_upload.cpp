#include "ftp/part_upload.h"

#include <charconv>
#include <cstdio>
#include <memory>

#include "ftp/data_channel.h"
#include "ftp/file_upload.h"
#include "ftp/remote_session.h"
#include "ftp/reply_reader.h"
#include "platform/files.h"

namespace wexmoor {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

Text TwoDecimals(double value) {
  char text[64];
  auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
  if (error != std::errc()) return u"0.00";
  return AsciiToText(std::string_view(text, static_cast<std::size_t>(end - text)));
}

// The reader's texts for a lost or silent control connection.
bool ConnectionLost(TextView reply) { return reply.starts_with(u"!!"); }

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

// The number after a "213" code, or -1.
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

bool IsCompletion(TextView reply) { return ReplyHasCode(reply, u"226") != 0 || ReplyHasCode(reply, u"250") != 0; }

// RNFR + RNTO; 1 renamed, 0 refused, -1 the connection is gone.
int Rename(FtpSession& session, int connection, ServerRecord& server, TextView from, TextView to,
           StatusTarget* status) {
  const Text fromReply = Exchange(session, connection, server, u"RNFR " + Text(from), status);
  if (ConnectionLost(fromReply)) return -1;
  if (ReplyHasCode(fromReply, u"350") == 0) return 0;
  const Text toReply = Exchange(session, connection, server, u"RNTO " + Text(to), status);
  if (ConnectionLost(toReply)) return -1;
  return ReplyHasCode(toReply, u"250") != 0 ? 1 : 0;
}

DeliveryOutcome Failed(FtpSession& session, DeliveryFailure failure, TextView message, StatusTarget* status) {
  DeliveryOutcome outcome;
  outcome.failure = failure;
  outcome.error = Text(message);
  outcome.bytesSent = session.bytesSent;
  LogLine(session, message, status);
  return outcome;
}

DeliveryFailure FailureOf(TextView reply) {
  if (ConnectionLost(reply) || ReplyHasCode(reply, u"421") != 0) return DeliveryFailure::kServerGone;
  return DeliveryFailure::kTransfer;
}

}  // namespace

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

std::int64_t RemoteSize(FtpSession& session, int connection, ServerRecord& server, TextView name,
                        StatusTarget* status) {
  const Text reply = Exchange(session, connection, server, u"SIZE " + Text(name), status);
  if (ConnectionLost(reply)) return -1;
  const std::int64_t size = SizeReplyValue(reply);
  if (size >= 0) return size;
  // 550 means there is no such file; only a refused command asks the listing.
  if (ReplyHasCode(reply, u"550") != 0) return -1;
  Text listing;
  if (ListFolder(session, connection, server, name, listing, status) != 1) return -1;
  const std::size_t end = listing.find_first_of(u"\r\n");
  return ListingLineSize(TextView(listing).substr(0, end));
}

DeliveryOutcome DeliverFile(FtpSession& session, int connection, ServerRecord& server, const Text& localPath,
                            PartRecord& part, ProgressTarget* progress, StatusTarget* status,
                            const std::function<void(const PartRecord&)>& partBegun) {
  session.dataConnection = 0;
  session.bytesSent = 0;
  if (connection == 0) return Failed(session, DeliveryFailure::kServerGone, u"!!--- No Connection ID", status);

  // The local file first: a problem here needs nothing from the server.
  const std::int64_t size = FileSize(localPath);
  const std::optional<std::int64_t> mtime = FileModificationTime(localPath);
  FilePtr file;
  if (size >= 0 && mtime && !IsFolder(localPath)) file.reset(std::fopen(PathToNative(localPath).c_str(), "rb"));
  if (!file) return Failed(session, DeliveryFailure::kLocalFile, u"!!--- Unable to open \"" + localPath + u"\"", status);

  const Text finalName = RemoteFileName(localPath);
  const bool usePart = server.tempName != 0;
  const Text target = usePart ? PartName(finalName) : finalName;
  const PartRecord now{size, *mtime};

  // Continue a part begun from this very file; anything else starts at 0.
  std::int64_t offset = 0;
  if (usePart && part == now) {
    const std::int64_t remote = RemoteSize(session, connection, server, target, status);
    if (remote > 0 && remote <= size) {
      offset = remote;
    } else if (remote < 0 && RemoteSize(session, connection, server, finalName, status) == size) {
      // The part was renamed, but the program ended before it knew: the file
      // this part was begun from is on the server already.
      part = PartRecord{};
      LogLine(session, u"----- \"" + finalName + u"\" was delivered before", status);
      DeliveryOutcome outcome;
      outcome.result = 1;
      return outcome;
    }
  }
  part = usePart ? now : PartRecord{};
  if (partBegun) partBegun(part);

  const std::int64_t startMs = session.clock().MonotonicMs();
  if (offset < size || size == 0) {
    if (OpenDataChannel(session, connection, server, status) != 1)
      return Failed(session, DeliveryFailure::kTransfer, u"!!--- No data connection", status);
    Text store = u"STOR ";
    if (offset > 0) {
      const Text rest = Exchange(session, connection, server, u"REST " + IntToText(offset), status);
      if (ConnectionLost(rest)) {
        CloseDataChannel(session, status);
        return Failed(session, DeliveryFailure::kServerGone, u"!!--- Connection lost", status);
      }
      if (ReplyHasCode(rest, u"350") == 0) store = u"APPE ";
      LogLine(session, u"----- Resuming at " + IntToText(offset) + u" of " + IntToText(size), status);
    }
    if (offset > 0 && std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0) {
      CloseDataChannel(session, status);
      return Failed(session, DeliveryFailure::kLocalFile, u"!!--- Unable to read \"" + localPath + u"\"", status);
    }
    CommandReply reply;
    const int stored = RunCommand(session, connection, server, store + target, u"125|150|226", reply, status);
    if (stored != 1) {
      CloseDataChannel(session, status);
      return Failed(session, FailureOf(reply.reply), u"!!--- Upload refused: " + reply.reply, status);
    }
    AwaitDataConnection(session, server);
    const int sent = SendFileData(session, file.get(), session.dataConnection, progress, size - offset, status, server);
    file.reset();
    CloseDataChannel(session, status);
    const bool closedEarly = ReplyHasCode(reply.reply, u"226") != 0;
    const Text closing = closedEarly ? reply.reply : ReadReply(session, connection, server, 0, status);
    if (sent != 1) return Failed(session, FailureOf(closing), u"!!--- Data connection closed abnormally", status);
    if (!IsCompletion(closing))
      return Failed(session, FailureOf(closing), u"!!--- Transfer not confirmed: " + closing, status);
  }
  file.reset();
  const std::int64_t sentNow = session.bytesSent;

  // The server must hold exactly the local file's bytes.
  const Text sizeReply = Exchange(session, connection, server, u"SIZE " + target, status);
  if (ConnectionLost(sizeReply)) return Failed(session, DeliveryFailure::kServerGone, u"!!--- Connection lost", status);
  const std::int64_t remoteSize = SizeReplyValue(sizeReply);
  if (remoteSize >= 0 && remoteSize != size) {
    part = PartRecord{};
    return Failed(session, DeliveryFailure::kVerify,
                  u"!!--- Size on the server " + IntToText(remoteSize) + u" differs from " + IntToText(size), status);
  }

  if (usePart) {
    int renamed = Rename(session, connection, server, target, finalName, status);
    if (renamed == 0) {
      // Most servers refuse to rename over an existing file: the old one goes.
      const Text deleted = Exchange(session, connection, server, u"DELE " + finalName, status);
      LogLine(session, u"----- Deleted the old \"" + finalName + u"\" to put the new one in its place", status);
      renamed = ConnectionLost(deleted) ? -1 : Rename(session, connection, server, target, finalName, status);
    }
    if (renamed != 1)
      return Failed(session, renamed < 0 ? DeliveryFailure::kServerGone : DeliveryFailure::kTransfer,
                    u"!!--- Rename to \"" + finalName + u"\" refused", status);
  }
  part = PartRecord{};

  DeliveryOutcome outcome;
  outcome.result = 1;
  outcome.resumedFrom = offset;
  outcome.bytesSent = sentNow;
  const double kilobytes = static_cast<double>(sentNow) / 1024.0;
  const double seconds = static_cast<double>(session.clock().MonotonicMs() - startMs) / 1000.0;
  const double speed = seconds >= 1.0 ? kilobytes / seconds : kilobytes;
  LogLine(session, u"-----" + TwoDecimals(kilobytes) + u" Kb sent at " + TwoDecimals(speed) + u" Kb/s.", status);
  return outcome;
}

}  // namespace wexmoor
