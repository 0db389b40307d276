#include "ftp/reply_reader.h"

#include <algorithm>
#include <vector>

#include "ftp/connection_io.h"
#include "ftp/reply_assembler.h"
#include "platform/code_page.h"
#include "platform/socket.h"

namespace wexmoor {
namespace {

constexpr int kDefaultTimeOut = 10000;
constexpr std::size_t kBlockSize = 4096;
constexpr std::int64_t kSlowestFloorMs = 50;
constexpr std::int64_t kSliceMs = 10;

Text Decode(const ServerRecord& server, std::string_view bytes) {
  return server.useUtf8 != 0 ? Utf8ToUtf16(bytes) : AnsiToUtf16(bytes);
}

std::string Encode(const ServerRecord& server, TextView text) {
  return server.useUtf8 != 0 ? Utf16ToUtf8(text) : Utf16ToAnsi(text);
}

// Waits until `connection` can be read, the deadline on the session's clock
// passes, or the stop. Each slice waits on the socket; a clock that moves only
// when slept on (tests, fuzzing) is moved by the slice.
WaitResult WaitForData(FtpSession& session, int connection, std::int64_t deadline) {
  const Clock& clock = session.clock();
  for (;;) {
    const std::int64_t before = clock.MonotonicMs();
    const std::int64_t left = deadline - before;
    const WaitResult r =
        ConnectionWaitReadable(session, connection, static_cast<int>(std::clamp<std::int64_t>(left, 0, kSliceMs)));
    if (r != WaitResult::kTimedOut) return r;
    if (left <= 0) return WaitResult::kTimedOut;
    if (clock.MonotonicMs() == before && !clock.SleepFor(std::min(left, kSliceMs), session.StopToken())) {
      return WaitResult::kStopped;
    }
  }
}

enum class Received { kData, kClosed, kTimedOut, kStopped };

// One block appended to `bytes` (waiting up to `deadline`).
Received ReceiveBlock(FtpSession& session, int connection, std::int64_t deadline, std::string& bytes) {
  char buffer[kBlockSize];
  for (;;) {
    const WaitResult waited = WaitForData(session, connection, deadline);
    if (waited == WaitResult::kStopped) return Received::kStopped;
    if (waited == WaitResult::kTimedOut) return Received::kTimedOut;
    if (waited != WaitResult::kReady) return Received::kClosed;
    const long got = ConnectionReceive(session, connection, buffer, sizeof buffer);
    if (got == kNothingYet) continue;  // TLS records without data (a session ticket): wait on
    if (got <= 0) return Received::kClosed;  // readable but nothing: the peer closed
    bytes.append(buffer, static_cast<std::size_t>(got));
    return Received::kData;
  }
}

struct ReadOutcome {
  std::string bytes;
  Text error;  // a reader text ("!! …"), or empty
  bool stopped = false;
};

// One whole reply of the control connection, within one deadline and bounds.
ReadOutcome ReadWholeReply(FtpSession& session, int connection, std::int64_t timeOut) {
  ReadOutcome out;
  if (session.droppedConnection == connection) {
    out.error = u"!! No Connection !!";
    return out;
  }
  std::string bytes;
  if (session.readAheadHandle == connection) bytes.swap(session.readAhead);
  session.readAhead.clear();
  session.readAheadHandle = connection;
  const std::int64_t deadline = session.clock().MonotonicMs() + timeOut;
  for (;;) {
    const ReplyScan scan = ScanReply(bytes);
    if (scan.kind == ReplyScan::kComplete) {
      session.readAhead.assign(bytes, scan.end);
      bytes.resize(scan.end);
      out.bytes = std::move(bytes);
      return out;
    }
    if (scan.kind == ReplyScan::kTooLong) {
      out.error = u"!! Reply too long !!";
      break;
    }
    const Received got = ReceiveBlock(session, connection, deadline, bytes);
    if (got == Received::kData) continue;
    if (got == Received::kStopped) {
      out.stopped = true;
      return out;
    }
    if (got == Received::kClosed) {
      // What the server said before it closed still counts.
      if (!bytes.empty()) {
        out.bytes = std::move(bytes);
        session.droppedConnection = connection;
        return out;
      }
      out.error = u"!! Connection closed !!";
    } else {
      out.error = u"!! TimeOut !!";
    }
    break;
  }
  // A late or oversized reply would put every later exchange out of step.
  session.droppedConnection = connection;
  session.readAhead.clear();
  return out;
}

// Data until the line goes quiet (an adaptive limit) or the peer closes.
ReadOutcome ReadRawData(FtpSession& session, int connection, std::int64_t timeOut) {
  ReadOutcome out;
  const Clock& clock = session.clock();
  std::int64_t slowest = kSlowestFloorMs;
  std::int64_t limit = timeOut;
  for (;;) {
    const std::int64_t start = clock.MonotonicMs();
    const Received got = ReceiveBlock(session, connection, start + limit, out.bytes);
    if (got == Received::kStopped) {
      out.stopped = true;
      return out;
    }
    if (got != Received::kData) break;
    slowest = std::max(slowest, clock.MonotonicMs() - start);
    limit = std::min(slowest * 20, timeOut);
  }
  if (out.bytes.empty()) out.error = u"!! TimeOut !!";
  return out;
}

bool IsFinalCode(int code) { return code >= 200 && code <= 599; }

}  // namespace

int ReplyCode(TextView reply) {
  if (reply.size() < 3) return 0;
  int code = 0;
  for (int i = 0; i < 3; ++i) {
    if (reply[i] < u'0' || reply[i] > u'9') return 0;
    code = code * 10 + (reply[i] - u'0');
  }
  if (reply.size() > 3 && reply[3] != u' ' && reply[3] != u'-' && reply[3] != u'\r') return 0;
  return code;
}

ReplyClass ClassifyReply(TextView reply) {
  if (reply == u"!! Stopped !!") return ReplyClass::kStopped;
  const int code = ReplyCode(reply);
  if (code == 0 || code == 421) return ReplyClass::kServerGone;
  if (code >= 400 && code <= 599) return ReplyClass::kRefused;
  if (code >= 100 && code <= 399) return ReplyClass::kPositive;
  return ReplyClass::kServerGone;
}

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
  if (session.StopNoticed() || connection == 0 || connection == session.droppedConnection) return -1;
  if (server.useUtf8 == 0 && !FitsAnsi(command)) {
    // Sent as it is, the name would arrive with "?" in place of what the
    // character set lacks, and overwrite whatever else became that name.
    const std::size_t space = shown.find(u' ');
    const Text name = space == Text::npos ? shown : shown.substr(space + 1);
    session.unsentReply = u"553 Not sent: \"" + name +
                          u"\" cannot be written in the server's character set; turn on \"ServerUseUTF8\" for this server";
    LogLine(session, u"!!--- " + session.unsentReply.substr(4), status);
    return -1;
  }
  const std::string bytes = Encode(server, command);
  const int limit = server.timeOut > 0 ? server.timeOut : kDefaultTimeOut;
  return ConnectionSendAll(session, connection, bytes.data(), bytes.size(), limit);
}

long SendCommands(FtpSession& session, int connection, const ServerRecord& server,
                  const std::vector<Text>& commands, StatusTarget* status) {
  std::string bytes;
  for (const Text& command : commands) {
    const std::size_t lineBreak = command.find_first_of(TextView(u"\r\n\0", 3));
    if (lineBreak != Text::npos && lineBreak + 2 < command.size()) {
      LogLine(session, u"!!--- Command refused: a name holds a line break", status);
      return -1;
    }
    if (server.useUtf8 == 0 && !FitsAnsi(command)) return SendCommand(session, connection, server, command, status);
  }
  for (const Text& command : commands) {
    Text shown = ReplaceAll(command, u"\r\n", u"");
    if (ToUpperAscii(TextView(shown).substr(0, 5)) == u"PASS ") shown = u"PASS ****";
    LogLine(session, u"<--->" + shown, status);
    bytes += Encode(server, command);
  }
  if (session.StopNoticed() || connection == 0 || connection == session.droppedConnection) return -1;
  const int limit = server.timeOut > 0 ? server.timeOut : kDefaultTimeOut;
  return ConnectionSendAll(session, connection, bytes.data(), bytes.size(), limit);
}

Text ReadReply(FtpSession& session, int connection, ServerRecord& server, int rawMode, StatusTarget* status) {
  if (server.timeOut == 0) server.timeOut = kDefaultTimeOut;
  const std::int64_t timeOut = std::max<std::int64_t>(server.timeOut, 1);
  Text result;
  if (connection == 0) {
    result = u"!! No Connection !!";
  } else if (rawMode == 0 && !session.unsentReply.empty()) {
    // The refusal of a command that was never sent (already logged).
    result = std::move(session.unsentReply);
    session.unsentReply.clear();
    if (session.repliesRead++ == 0) session.firstReply = result;
    session.lastReply = result;
    return result;
  } else {
    const ReadOutcome read = rawMode == 0 ? ReadWholeReply(session, connection, timeOut)
                                          : ReadRawData(session, connection, timeOut);
    if (read.stopped) {
      session.StopNoticed();
      result = u"!! Stopped !!";
    } else if (!read.error.empty()) {
      result = read.error;
    } else {
      result = Decode(server, rawMode == 0 ? JoinReplyLines(read.bytes) : read.bytes);
      while (!result.empty() && (result.back() == u'\n' || result.back() == u'\r' || result.back() == u' ')) {
        result.pop_back();
      }
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
    commandReply = CommandReply{};
    return -1;
  }
  Text line(command);
  if (line.size() < 2 || line.compare(line.size() - 2, 2, u"\r\n") != 0) line += u"\r\n";
  // A name holding a line break would smuggle a second command to the server.
  if (line.find_first_of(TextView(u"\r\n\0", 3)) < line.size() - 2) {
    LogLine(session, u"!!--- Command refused: a name holds a line break", status);
    commandReply = CommandReply{};
    return -1;
  }
  SendCommand(session, connection, server, line, status);

  int result = 0;
  Text reply;
  Text accepted;
  for (int tries = 3; tries > 0 && result == 0; --tries) {
    reply = ReadReply(session, connection, server, 0, status);
    if (reply.starts_with(u"!!")) {
      result = -1;
      break;
    }
    const int code = ReplyCode(reply);
    std::size_t from = 0;
    while (result == 0 && from <= codePattern.size()) {
      std::size_t bar = codePattern.find(u'|', from);
      if (bar == TextView::npos) bar = codePattern.size();
      const int wanted = static_cast<int>(TextToInt(codePattern.substr(from, bar - from)));
      from = bar + 1;
      if (code != 0 && code == wanted) {
        result = 1;
        accepted = reply.substr(0, reply.find(u"\r\n"));
      } else if (code == 425 || code == 550) {
        result = -1;
      }
    }
    // A final reply ends the exchange, listed or not.
    if (result == 0 && IsFinalCode(code)) {
      result = code >= 400 ? -1 : 0;
      break;
    }
  }
  commandReply.reply = reply;
  commandReply.line = accepted;
  commandReply.code = ReplyCode(reply);
  commandReply.kind = ClassifyReply(reply);
  return result;
}

}  // namespace wexmoor
