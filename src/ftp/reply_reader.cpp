#include "ftp/reply_reader.h"

#include <algorithm>
#include <vector>

#include "ftp/connection_io.h"
#include "platform/code_page.h"
#include "platform/socket.h"

namespace wexmoor {
namespace {

constexpr int kDefaultTimeOut = 10000;
constexpr std::size_t kBlockSize = 1000;
constexpr std::int64_t kSlowestFloorMs = 50;
// A server that never stops talking cannot make one reply grow without end.
constexpr std::size_t kMaxReplyUnits = 32u << 20;

Text Decode(const ServerRecord& server, std::string_view bytes) {
  return server.useUtf8 != 0 ? Utf8ToUtf16(bytes) : AnsiToUtf16(bytes);
}

std::string Encode(const ServerRecord& server, TextView text) {
  return server.useUtf8 != 0 ? Utf16ToUtf8(text) : Utf16ToAnsi(text);
}

bool EndsWithCrLf(const Text& text) {
  return text.size() >= 2 && text[text.size() - 2] == u'\r' && text.back() == u'\n';
}

// Waits for data on `connection` for up to `limitMs` from `startMs`, in slices.
WaitResult WaitForData(FtpSession& session, int connection, std::int64_t startMs, std::int64_t limitMs) {
  for (;;) {
    const std::int64_t left = limitMs - (NetworkMs() - startMs);
    WaitResult r =
        ConnectionWaitReadable(session, connection, static_cast<int>(std::clamp<std::int64_t>(left, 0, 10)));
    if (r != WaitResult::kTimedOut) return r;
    if (NetworkMs() - startMs > limitMs) return WaitResult::kTimedOut;
  }
}

}  // namespace

void LogLine(FtpSession& session, TextView text, StatusTarget* status) {
  if (text.empty()) return;
  Text line = AsciiToText(FormatClockTime(session.clock().Local()));
  line += u": ";
  line.append(text);
  if (status != nullptr) status->SetStatusText(line);
  session.Log().Append(line);
}

long SendCommand(FtpSession& session, int connection, const ServerRecord& server, TextView command,
                 StatusTarget* status) {
  Text shown = ReplaceAll(command, u"\r\n", u"");
  if (ToUpperAscii(TextView(shown).substr(0, 5)) == u"PASS ") shown = u"PASS ****";
  LogLine(session, u"<--->" + shown, status);
  if (session.StopNoticed() || connection == 0) return -1;
  const std::string bytes = Encode(server, command);
  const int limit = server.timeOut > 0 ? server.timeOut : kDefaultTimeOut;
  return ConnectionSendAll(session, connection, bytes.data(), bytes.size(), limit);
}

Text ReadReply(FtpSession& session, int connection, ServerRecord& server, int rawMode, StatusTarget* status) {
  if (server.timeOut == 0) server.timeOut = kDefaultTimeOut;
  const std::int64_t timeOut = std::max<std::int64_t>(server.timeOut, 1);
  std::int64_t limit = timeOut;
  Text result;
  bool stopped = false;
  if (connection == 0) {
    result = u"!! No Connection !!";
  } else if (ConnectionWaitReadable(session, connection, 10) == WaitResult::kStopped) {
    // The settling pause before the first block ends as soon as data is there.
    stopped = true;
  } else {
    std::int64_t slowest = kSlowestFloorMs;
    std::vector<char> buffer(kBlockSize);
    long got = -1;
    do {
      const std::int64_t start = NetworkMs();
      got = -1;
      WaitResult waited = WaitForData(session, connection, start, limit);
      if (waited == WaitResult::kStopped) {
        stopped = true;
        break;
      }
      if (waited != WaitResult::kReady) break;
      got = ConnectionReceive(session, connection, buffer.data(), buffer.size());
      while (got == kNothingYet) {  // TLS records without data (a session ticket): wait on
        waited = WaitForData(session, connection, start, limit);
        if (waited == WaitResult::kStopped) {
          stopped = true;
          break;
        }
        got = waited == WaitResult::kReady ? ConnectionReceive(session, connection, buffer.data(), buffer.size()) : -1;
      }
      if (stopped) break;
      if (got <= 0) {
        if (!PauseMs(20, session.StopToken())) {
          stopped = true;
          break;
        }
        got = ConnectionReceive(session, connection, buffer.data(), buffer.size());
      }
      if (got >= 1) result += Decode(server, std::string_view(buffer.data(), static_cast<std::size_t>(got)));
      if (rawMode == 0 && EndsWithCrLf(result)) {
        got = -1;
      } else if (result.size() >= kMaxReplyUnits) {
        got = -1;
      } else {
        const std::int64_t took = NetworkMs() - start;
        if (took > slowest) slowest = took;
        limit = std::min(slowest * 20, timeOut);
      }
    } while (got >= 1);
  }
  if (stopped) {
    session.StopNoticed();
    result = u"!! Stopped !!";
  } else if (result.empty()) {
    result = u"!! TimeOut !!";
  } else if (connection != 0) {
    while (!result.empty() && (result.back() == u'\n' || result.back() == u'\r' || result.back() == u' ')) {
      result.pop_back();
    }
  }
  LogLine(session, u">---<" + result, status);
  if (rawMode == 0) {
    if (session.repliesRead++ == 0) session.firstReply = result;
    session.lastReply = result;
  }
  return result;
}

int ReplyHasCode(TextView reply, TextView code) {
  Text copy(reply);
  std::replace(copy.begin(), copy.end(), u'-', u' ');
  copy += u' ';
  Text wanted(code);
  if (wanted.empty() || wanted.back() != u' ') wanted += u' ';
  if (copy.compare(0, wanted.size(), wanted) == 0) return 1;
  const std::size_t at = copy.find(u"\r\n" + wanted);
  if (at == Text::npos) return 0;
  return static_cast<int>(at) + 3;
}

int RunCommand(FtpSession& session, int connection, ServerRecord& server, TextView command,
               TextView codePattern, CommandReply& commandReply, StatusTarget* status) {
  if (connection == 0) {
    LogLine(session, u"!!Error: No Connection ID!!", status);
    commandReply.reply.clear();
    commandReply.line.clear();
    return -1;
  }
  Text line(command);
  if (line.size() < 2 || line.compare(line.size() - 2, 2, u"\r\n") != 0) line += u"\r\n";
  // A name holding a line break would smuggle a second command to the server.
  if (line.find_first_of(TextView(u"\r\n\0", 3)) < line.size() - 2) {
    LogLine(session, u"!!--- Command refused: a name holds a line break", status);
    commandReply.reply.clear();
    commandReply.line.clear();
    return -1;
  }
  SendCommand(session, connection, server, line, status);

  int result = 0;
  int tries = 3;
  Text reply;
  Text accepted;
  do {
    reply = ReadReply(session, connection, server, 0, status);
    if (reply.starts_with(u"!!")) {
      result = -1;
    } else {
      std::size_t from = 0;
      while (result == 0 && from <= codePattern.size()) {
        std::size_t bar = codePattern.find(u'|', from);
        if (bar == TextView::npos) bar = codePattern.size();
        const TextView code = codePattern.substr(from, bar - from);
        from = bar + 1;
        const int at = ReplyHasCode(reply, code);
        if (at > 0) {
          result = 1;
          const std::size_t begin = static_cast<std::size_t>(at - 1);
          const std::size_t end = reply.find(u"\r\n", begin);
          accepted = reply.substr(begin, end == Text::npos ? Text::npos : end - begin);
        } else if (ReplyHasCode(reply, u"425") != 0 || ReplyHasCode(reply, u"550") != 0) {
          result = -1;
        }
      }
    }
    --tries;
  } while (tries > 0 && result == 0);
  commandReply.reply = reply;
  commandReply.line = accepted;
  return result;
}

}  // namespace wexmoor
