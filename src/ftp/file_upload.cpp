#include "ftp/file_upload.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

#include "ftp/command_batch.h"
#include "ftp/connection_io.h"
#include "ftp/data_channel.h"
#include "ftp/part_upload.h"
#include "ftp/reply_reader.h"
#include "platform/files.h"
#include "platform/socket.h"

namespace wexmoor {
namespace {

// Status text and progress go to the window at most this often.
constexpr std::int64_t kDisplayIntervalMs = 100;

Text TwoDecimals(double value) {
  char text[64];
  auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
  if (error != std::errc()) return u"0.00";
  return AsciiToText(std::string_view(text, static_cast<std::size_t>(end - text)));
}


}  // namespace

Text RemoteFileName(TextView localPath) {
  const std::size_t cut = localPath.find_last_of(u'/');
  return Text(cut == TextView::npos ? localPath : localPath.substr(cut + 1));
}

namespace {

// Waits until the data connection takes bytes again; false when it did not
// within the time-out (measured from `lastProgressMs`) or the stop came.
bool AwaitWritable(FtpSession& session, int dataConnection, std::int64_t lastProgressMs, int timeOutMs,
                   bool& stopped) {
  const std::int64_t left = timeOutMs - (NetworkMs() - lastProgressMs);
  if (left <= 0) return false;
  const WaitResult waited = ConnectionWaitWritable(session, dataConnection, static_cast<int>(left));
  if (waited == WaitResult::kStopped) stopped = true;
  return waited == WaitResult::kReady;
}

}  // namespace

int SendFileData(FtpSession& session, int fd, std::int64_t offset, int dataConnection, ProgressTarget* progress,
                 std::int64_t size, StatusTarget* status, ServerRecord& server, TransferObserver* observer) {
  TransferObserver none;
  TransferObserver& watch = observer != nullptr ? *observer : none;
  Text message;
  int result = 0;
  session.bytesSent = 0;
  if (dataConnection == 0) {
    message = u"!!--- No Connection ID";
    result = -1;
  } else {
    const std::int64_t total = size;
    const int timeOut = server.timeOut > 0 ? server.timeOut : 10000;
    const std::size_t block = std::max<std::size_t>(session.sendBlockSize, 1);
    // A TLS data connection encrypts in user space, and an observer that
    // wants the bytes reads them: no zero-copy there.
    bool zeroCopy = session.zeroCopy && fd >= 0 && offset >= 0 && session.TlsOf(dataConnection) == nullptr &&
                    !watch.WantsBytes();
    std::vector<char> buffer;
    std::size_t buffered = 0;  // bytes of `buffer` still to send
    std::size_t bufferedAt = 0;
    std::size_t blockLeft = 0;  // bytes of the block the observer let through, still to send
    std::size_t blockSize = 0;
    bool stopped = false;
    std::int64_t lastProgressMs = NetworkMs();
    std::int64_t lastShownMs = lastProgressMs - kDisplayIntervalMs;
    while (session.bytesSent < total && result == 0) {
      if (blockLeft == 0) {
        blockSize = static_cast<std::size_t>(std::min<std::int64_t>(total - session.bytesSent, block));
        if (!watch.BeforeBlock(blockSize)) {
          session.StopNoticed();
          message = u"!!--- Data send error";
          result = -1;
          break;
        }
        blockLeft = blockSize;
      }
      const std::size_t want = blockLeft;
      long n = 0;
      if (zeroCopy) {
        n = SendFileSome(dataConnection, fd, offset, want);
        if (n == kZeroCopyUnsupported) {
          zeroCopy = false;
          continue;
        }
      } else {
        if (buffered == 0) {
          buffer.resize(block);
          // The file shrank or could not be read: nothing made up is sent.
          const ssize_t got = ::pread(fd, buffer.data(), want, offset);
          if (got != static_cast<ssize_t>(want)) {
            n = kFileEnded;
          } else {
            buffered = want;
            bufferedAt = 0;
          }
        }
        if (n == 0) n = ConnectionSend(session, dataConnection, buffer.data() + bufferedAt, buffered);
        if (n > 0) {
          watch.AfterBlock(watch.WantsBytes() ? buffer.data() + bufferedAt : nullptr, static_cast<std::size_t>(n));
          buffered -= static_cast<std::size_t>(n);
          bufferedAt += static_cast<std::size_t>(n);
          offset += n;
        }
      }
      if (zeroCopy && n > 0) {
        watch.AfterBlock(nullptr, static_cast<std::size_t>(n));
      }
      if (n < 0) {
        message = u"!!--- Data send error";
        result = -1;
        break;
      }
      if (n == 0) {
        if (!AwaitWritable(session, dataConnection, lastProgressMs, timeOut, stopped)) {
          if (stopped) session.StopNoticed();
          message = u"!!--- Data send error";
          result = -1;
        }
        continue;
      }
      blockLeft -= static_cast<std::size_t>(n);
      session.bytesSent += n;
      lastProgressMs = NetworkMs();
      session.lastProgressTime().store(session.clock().MonotonicSeconds());
      if (lastProgressMs - lastShownMs >= kDisplayIntervalMs || session.bytesSent == total) {
        lastShownMs = lastProgressMs;
        if (progress != nullptr && total > 0) {
          progress->SetProgress(
              static_cast<int>(std::lround(static_cast<double>(session.bytesSent) / total * 100.0)));
        }
        if (status != nullptr) status->SetStatusText(IntToText(session.bytesSent) + u" / " + IntToText(total));
      }
    }
    if (session.bytesSent == total && result == 0) {
      message = u"----- File sent with succes";
      result = 1;
    }
  }
  LogLine(session, message, status);
  return result;
}

namespace {

bool ConnectionLost(TextView reply) { return reply.starts_with(u"!!"); }

bool IsCompletion(TextView reply) { return ReplyHasCode(reply, u"226") != 0 || ReplyHasCode(reply, u"250") != 0; }

StoreResult StoreFailed(FtpSession& session, TextView reply, Text message, StatusTarget* status) {
  StoreResult result;
  result.stopped = session.StopRequested();
  result.serverGone = ConnectionLost(reply) || ReplyHasCode(reply, u"421") != 0;
  result.message = std::move(message);
  LogLine(session, result.message, status);
  return result;
}


// The reply that ends a transfer: past at most three preliminary ones (150).
Text FinalReply(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status) {
  return ReadAnswer(session, connection, server, u"STOR", status).reply;
}

// StoreFrom where the STOR of `name` went ahead: the data at once, then its
// replies.
// The end of a transfer whose data went and whose data channel is closed:
// `behind` sent, then the closing reply (`closing` when it came already) and
// theirs read, each in step. `refusalFirst`: a refusal outranks a send error.
StoreResult EndTransfer(FtpSession& session, int connection, ServerRecord& server, const Text& store, int sent,
                        Text closing, bool refusalFirst, const std::vector<Text>& behind, StatusTarget* status) {
  bool behindSent = false;
  if (sent == 1 && !behind.empty() && server.pipelining != 0) {
    std::vector<Text> lines;
    for (const Text& command : behind) lines.push_back(command + u"\r\n");
    behindSent = SendCommands(session, connection, server, lines, status) >= 0;
  }
  if (closing.empty()) closing = FinalReply(session, connection, server, status);
  Text outOfStep;
  if (server.pipelining != 0 && !ConnectionLost(closing) && !ReplyInStep(store, closing)) outOfStep = closing;
  std::vector<BatchReply> answers;
  for (std::size_t i = 0; behindSent && outOfStep.empty() && i < behind.size(); ++i) {
    BatchReply answer = ReadAnswer(session, connection, server, behind[i], status);
    if (!answer.inStep) outOfStep = answer.reply;
    const bool last = answer.kind == ReplyClass::kServerGone || answer.kind == ReplyClass::kStopped;
    if (answer.kind == ReplyClass::kServerGone && IsCompletion(closing)) {
      // Silence after the closing reply: a server may have swallowed what
      // came while its transfer drained. The next login sends nothing there.
      session.outOfStep = true;
      session.behindCrossed = true;
    }
    answers.push_back(std::move(answer));
    if (last) break;
  }
  if (!outOfStep.empty()) {
    // The closing reply and theirs crossed (or belong to other commands).
    session.outOfStep = true;
    // Crossed where the closing reply came after one of theirs: read in its
    // place, or read in the place of theirs.
    session.behindCrossed = behindSent && (outOfStep == closing || IsCompletion(outOfStep));
    return StoreFailed(session, u"!!", u"!!--- Reply out of step: " + outOfStep, status);
  }
  const int code = ReplyCode(closing);
  if (refusalFirst && code >= 400 && code < 600)
    return StoreFailed(session, closing, u"!!--- Upload refused: " + closing, status);
  if (sent != 1) return StoreFailed(session, closing, u"!!--- Data connection closed abnormally", status);
  if (!IsCompletion(closing)) return StoreFailed(session, closing, u"!!--- Transfer not confirmed: " + closing, status);
  StoreResult result;
  result.result = 1;
  result.behind = std::move(answers);
  return result;
}

StoreResult StoreSentAhead(FtpSession& session, int connection, ServerRecord& server, TextView name, int fd,
                           std::int64_t length, TransferObserver* observer, ProgressTarget* progress,
                           StatusTarget* status, const std::vector<Text>& behind) {
  session.storeAhead.clear();
  // With PROT P the data connection's TLS starts once the server, past the
  // STOR, takes it.
  if (OpenDataChannel(session, connection, server, status) != 1 || AwaitDataConnection(session, server) != 1 ||
      session.dataConnection == 0) {
    // The server waits for a data connection that does not come: this
    // conversation cannot go on.
    CloseDataChannel(session, status);
    return StoreFailed(session, u"!!", u"!!--- No data connection", status);
  }
  const int sent = SendFileData(session, fd, 0, session.dataConnection, progress, length, status, server, observer);
  CloseDataChannel(session, status);
  // Its 150 was not waited for: a refusal is the answer to it, whatever the
  // data connection did.
  return EndTransfer(session, connection, server, u"STOR " + Text(name), sent, {}, true, behind, status);
}

}  // namespace

int SettleStoreAhead(FtpSession& session, int connection, ServerRecord& server, StatusTarget* status) {
  if (session.storeAhead.empty()) return 1;
  const Text name = std::exchange(session.storeAhead, Text());
  LogLine(session, u"----- \"" + name + u"\" asked ahead and not sent: its transfer ends empty", status);
  if (!PassiveAheadFresh(session) && !session.passiveAhead.empty()) return -1;
  // An empty data connection ends the STOR the server waits on (with no
  // address asked, the server has refused it already).
  if (!session.passiveAhead.empty() &&
      (OpenDataChannel(session, connection, server, status) != 1 || AwaitDataConnection(session, server) != 1)) {
    CloseDataChannel(session, status);
    return -1;
  }
  CloseDataChannel(session, status);
  const Text reply = FinalReply(session, connection, server, status);
  if (ConnectionLost(reply) || ReplyHasCode(reply, u"421") != 0) return -1;
  if (!ReplyInStep(u"STOR " + name, reply)) {
    session.outOfStep = true;
    return -1;
  }
  if (IsCompletion(reply) && DeleteRemote(session, connection, server, name, status) < 0) return -1;
  return 1;
}

StoreResult StoreFrom(FtpSession& session, int connection, ServerRecord& server, TextView name, int fd,
                      std::int64_t offset, std::int64_t length, TransferObserver* observer, ProgressTarget* progress,
                      StatusTarget* status, const std::vector<Text>& behind) {
  session.dataConnection = 0;
  session.bytesSent = 0;
  if (connection == 0) return StoreFailed(session, u"!!", u"!!--- No Connection ID", status);
  if (name.find_first_of(TextView(u"\r\n\0", 3)) != TextView::npos)
    return StoreFailed(session, u"", u"!!--- Command refused: a name holds a line break", status);
  if (!session.storeAhead.empty() && (session.storeAhead != name || offset != 0 || !PassiveAheadFresh(session)) &&
      SettleStoreAhead(session, connection, server, status) < 0) {
    return StoreFailed(session, u"!!", u"!!--- Connection lost", status);
  }
  if (!session.storeAhead.empty())
    return StoreSentAhead(session, connection, server, name, fd, length, observer, progress, status, behind);
  if (OpenDataChannel(session, connection, server, status) != 1)
    return StoreFailed(session, session.lastReply, u"!!--- No data connection", status);
  Text store = u"STOR ";
  if (offset > 0) {
    SendCommand(session, connection, server, u"REST " + IntToText(offset) + u"\r\n", status);
    const Text rest = ReadReply(session, connection, server, 0, status);
    if (ConnectionLost(rest) || ReplyHasCode(rest, u"421") != 0) {
      CloseDataChannel(session, status);
      return StoreFailed(session, rest, u"!!--- Connection lost", status);
    }
    if (ReplyHasCode(rest, u"350") == 0) store = u"APPE ";
  }
  CommandReply reply;
  const int started = RunCommand(session, connection, server, store + Text(name), u"125|150|226", reply, status);
  if (server.pipelining != 0 && !ConnectionLost(reply.reply) && !ReplyInStep(store + Text(name), reply.reply)) {
    // An answer of another command: replies that went together earlier
    // are out of step.
    session.outOfStep = true;
    CloseDataChannel(session, status);
    return StoreFailed(session, u"!!", u"!!--- Reply out of step: " + reply.reply, status);
  }
  if (started != 1) {
    CloseDataChannel(session, status);
    return StoreFailed(session, reply.reply, u"!!--- Upload refused: " + reply.reply, status);
  }
  AwaitDataConnection(session, server);
  const int sent = SendFileData(session, fd, offset, session.dataConnection, progress, length, status, server, observer);
  CloseDataChannel(session, status);
  const bool closedEarly = ReplyHasCode(reply.reply, u"226") != 0;
  return EndTransfer(session, connection, server, store + Text(name), sent, closedEarly ? reply.reply : Text(), false,
                     behind, status);
}

int UploadFile(FtpSession& session, int connection, ServerRecord& server, const Text& localPath,
               ProgressTarget* progress, StatusTarget* status) {
  session.dataConnection = 0;
  if (connection == 0) return 0;
  const std::int64_t size = FileSize(localPath);
  if (size == 0) {
    LogLine(session, u"!!--- File is empty!!", status);
    return -1;
  }
  const int fd = size > 0 && !IsFolder(localPath) ? ::open(PathToNative(localPath).c_str(), O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0) {
    LogLine(session, u"!!--- Unable to open \"" + localPath + u"\"", status);
    return -1;
  }
  const std::int64_t startSeconds = session.clock().WallSeconds();
  const StoreResult stored =
      StoreFrom(session, connection, server, RemoteFileName(localPath), fd, 0, size, nullptr, progress, status);
  ::close(fd);
  if (stored.result != 1) return -1;
  const double kilobytes = static_cast<double>(session.bytesSent) / 1024.0;
  const std::int64_t seconds = session.clock().WallSeconds() - startSeconds;
  const double speed = seconds >= 1 ? kilobytes / static_cast<double>(seconds) : kilobytes;
  LogLine(session, u"-----" + TwoDecimals(kilobytes) + u" Kb sent at " + TwoDecimals(speed) + u" Kb/s.", status);
  return 1;
}

}  // namespace wexmoor
