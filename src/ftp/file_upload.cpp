#include "ftp/file_upload.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "ftp/connection_io.h"
#include "ftp/data_channel.h"
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

int SendFileData(FtpSession& session, std::FILE* file, int dataConnection, ProgressTarget* progress,
                 std::int64_t size, StatusTarget* status, ServerRecord& server) {
  Text message;
  int result = 0;
  if (dataConnection == 0) {
    message = u"!!--- No Connection ID";
    result = -1;
  } else {
    session.bytesSent = 0;
    const std::int64_t total = size;
    const int timeOut = server.timeOut > 0 ? server.timeOut : 10000;
    const std::size_t block = std::max<std::size_t>(session.sendBlockSize, 1);
    const int fileFd = fileno(file);
    std::int64_t offset = ftello(file);
    // A TLS data connection encrypts in user space: no zero-copy there.
    bool zeroCopy = session.zeroCopy && fileFd >= 0 && offset >= 0 && session.TlsOf(dataConnection) == nullptr;
    std::vector<char> buffer;
    std::size_t buffered = 0;  // bytes of `buffer` still to send
    std::size_t bufferedAt = 0;
    bool stopped = false;
    std::int64_t lastProgressMs = NetworkMs();
    std::int64_t lastShownMs = lastProgressMs - kDisplayIntervalMs;
    while (session.bytesSent < total && result == 0) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(total - session.bytesSent, block));
      long n = 0;
      if (zeroCopy) {
        n = SendFileSome(dataConnection, fileFd, offset, want);
        if (n == kZeroCopyUnsupported) {
          zeroCopy = false;
          if (fseeko(file, offset, SEEK_SET) != 0) n = -1;
          else continue;
        }
      } else {
        if (buffered == 0) {
          buffer.resize(block);
          // The file shrank or could not be read: nothing made up is sent.
          if (std::fread(buffer.data(), 1, want, file) != want) {
            n = kFileEnded;
          } else {
            buffered = want;
            bufferedAt = 0;
          }
        }
        if (n == 0) n = ConnectionSend(session, dataConnection, buffer.data() + bufferedAt, buffered);
        if (n > 0) {
          buffered -= static_cast<std::size_t>(n);
          bufferedAt += static_cast<std::size_t>(n);
        }
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
// True when a line of the reply begins with a 4xx or 5xx code.
bool HasFailureReply(TextView reply) {
  std::size_t start = 0;
  while (start < reply.size()) {
    const std::size_t end = std::min(reply.find(u'\n', start), reply.size());
    const TextView line = reply.substr(start, end - start);
    if (line.size() >= 3 && (line[0] == u'4' || line[0] == u'5') && line[1] >= u'0' && line[1] <= u'9' &&
        line[2] >= u'0' && line[2] <= u'9' && (line.size() == 3 || line[3] == u' ' || line[3] == u'-' || line[3] == u'\r'))
      return true;
    start = end + 1;
  }
  return false;
}
}  // namespace

int UploadFile(FtpSession& session, int connection, ServerRecord& server, const Text& localPath,
               ProgressTarget* progress, StatusTarget* status) {
  session.dataConnection = 0;
  if (connection == 0) return 0;
  Text message;
  int result = 1;
  std::FILE* file = nullptr;
  const std::int64_t size = FileSize(localPath);
  if (size == 0) {
    message = u"!!--- File is empty!!";
    result = -1;
  } else {
    if (size > 0 && !IsFolder(localPath)) file = std::fopen(PathToNative(localPath).c_str(), "rb");
    if (file == nullptr) {
      message = u"!!--- Unable to open \"" + localPath + u"\"";
      result = -1;
    }
  }
  if (result == 1 && OpenDataChannel(session, connection, server, status) != 1) {
    std::fclose(file);
    file = nullptr;
    result = -1;
  }
  const std::int64_t startSeconds = session.clock().WallSeconds();
  if (result == 1) {
    CommandReply reply;
    result = RunCommand(session, connection, server, u"STOR " + RemoteFileName(localPath), u"125|150|226", reply,
                        status);
    if (result == 1) {
      AwaitDataConnection(session, server);
      result = SendFileData(session, file, session.dataConnection, progress, size, status, server);
    } else if (ReplyHasCode(reply.reply, u"501") != 0 || ReplyHasCode(reply.reply, u"550") != 0 ||
               ReplyHasCode(reply.reply, u"553") != 0) {
      message = u"!!--- Data connection closed abnormally";
    }
    std::fclose(file);
    file = nullptr;
    CloseDataChannel(session, status);
    const Text closing = ReadReply(session, connection, server, 0, status);
    // The data went out, but a server that then reports a failure (disk full,
    // transfer aborted) has not kept the file: the entry must stay queued.
    if (result == 1 && HasFailureReply(closing)) {
      message = u"!!--- Data connection closed abnormally";
      result = -1;
    }
    if (result == 1) {
      const double kilobytes = static_cast<double>(session.bytesSent) / 1024.0;
      const std::int64_t seconds = session.clock().WallSeconds() - startSeconds;
      const double speed = seconds >= 1 ? kilobytes / static_cast<double>(seconds) : kilobytes;
      message = u"-----" + TwoDecimals(kilobytes) + u" Kb sent at " + TwoDecimals(speed) + u" Kb/s.";
    }
  }
  LogLine(session, message, status);
  return result;
}

}  // namespace wexmoor
