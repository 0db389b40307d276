#include "ftp/command_batch.h"

#include <algorithm>
#include <array>
#include <utility>

namespace wexmoor {
namespace {

// The positive codes each command is answered with, and whether a
// multi-line answer is a form it has (226 to STOR is, on some servers).
struct Expected {
  TextView verb;
  std::array<int, 4> codes;
  bool multiLine;
};
constexpr std::array<Expected, 12> kExpected{{
    {u"SIZE", {213, 0, 0, 0}, false},
    {u"RNFR", {350, 0, 0, 0}, false},
    {u"RNTO", {250, 0, 0, 0}, true},
    {u"PASV", {227, 0, 0, 0}, false},
    {u"EPSV", {229, 0, 0, 0}, false},
    {u"TYPE", {200, 0, 0, 0}, false},
    {u"CWD", {250, 200, 0, 0}, true},
    {u"REST", {350, 0, 0, 0}, false},
    {u"DELE", {250, 0, 0, 0}, true},
    {u"MKD", {257, 0, 0, 0}, true},
    {u"STOR", {125, 150, 226, 250}, true},
    {u"APPE", {125, 150, 226, 250}, true},
}};

TextView Verb(TextView command) {
  const std::size_t space = command.find(u' ');
  return space == TextView::npos ? command : command.substr(0, space);
}

}  // namespace

bool ReplyInStep(TextView command, TextView reply) {
  const int code = ReplyCode(reply);
  if (code >= 400 && code < 600) return true;
  const Text verb = ToUpperAscii(Verb(command));
  for (const Expected& expected : kExpected) {
    if (expected.verb != verb) continue;
    if (!expected.multiLine && reply.find(u'\n') != TextView::npos) return false;
    for (int wanted : expected.codes)
      if (wanted != 0 && wanted == code) return true;
    return false;
  }
  return true;
}

BatchReply ReadAnswer(FtpSession& session, int connection, ServerRecord& server, const Text& command,
                      StatusTarget* status) {
  BatchReply answer;
  answer.command = command;
  answer.reply = ReadReply(session, connection, server, 0, status);
  // Preliminary replies (150 to STOR) come before the final one.
  for (int more = 3; more > 0 && ReplyCode(answer.reply) >= 100 && ReplyCode(answer.reply) < 200; --more)
    answer.reply = ReadReply(session, connection, server, 0, status);
  answer.code = ReplyCode(answer.reply);
  answer.kind = ClassifyReply(answer.reply);
  answer.inStep = answer.kind == ReplyClass::kServerGone || ReplyInStep(answer.command, answer.reply);
  return answer;
}

bool AllInStep(const std::vector<BatchReply>& replies) {
  for (const BatchReply& reply : replies)
    if (!reply.inStep) return false;
  return true;
}

std::vector<BatchReply> ExchangeAll(FtpSession& session, int connection, ServerRecord& server,
                                    const std::vector<Text>& commands, StatusTarget* status,
                                    std::size_t unread) {
  std::vector<BatchReply> replies(commands.size());
  std::vector<Text> lines;
  lines.reserve(commands.size());
  for (std::size_t i = 0; i < commands.size(); ++i) {
    replies[i].command = commands[i];
    replies[i].reply = u"!!";
    lines.push_back(commands[i] + u"\r\n");
  }
  if (SendCommands(session, connection, server, lines, status) < 0) {
    // Whatever refused to send said why; the reply reader hands on a
    // refusal of a name that cannot be written.
    if (!session.unsentReply.empty()) {
      replies[0].reply = ReadReply(session, connection, server, 0, status);
      replies[0].code = ReplyCode(replies[0].reply);
      replies[0].kind = ClassifyReply(replies[0].reply);
    }
    return replies;
  }
  const std::size_t toRead = commands.size() - std::min(unread, commands.size());
  for (std::size_t i = 0; i < toRead; ++i) {
    BatchReply& answer = replies[i];
    answer = ReadAnswer(session, connection, server, commands[i], status);
    if (answer.kind == ReplyClass::kServerGone || answer.kind == ReplyClass::kStopped || !answer.inStep) break;
  }
  return replies;
}

}  // namespace wexmoor
