#include "program/instance_message.h"

#include "platform/code_page.h"
#include "platform/files.h"

namespace wexmoor {

std::string HandOverMessage(const Text& pathList, const Text& server) {
  const Text here = CurrentDirectory();
  std::string message;
  if (!server.empty()) {
    Text name = server;
    std::erase(name, u'\r');
    message += std::string(kHandOverServerItem) + Utf16ToUtf8(name) + '\r';
  }
  std::size_t start = 0;
  while (start < pathList.size()) {
    std::size_t end = pathList.find(u'\r', start);
    if (end == Text::npos) end = pathList.size();
    Text item = pathList.substr(start, end - start);
    start = end + 1;
    if (item.empty()) continue;
    if (item.front() != u'/') {
      Text absolute = here;
      if (absolute.empty() || absolute.back() != u'/') absolute += u'/';
      item = absolute + item;
    }
    message += Utf16ToUtf8(item);
    message += '\r';
  }
  message += '\r';
  return message;
}

std::size_t HandOverMessageEnd(const std::string& received, std::size_t before) {
  // The end: an empty line, at the very start or right after a path's "\r".
  if (received.empty()) return std::string::npos;
  if (received.front() == '\r') return 0;
  const std::size_t pair = received.find("\r\r", before == 0 ? 0 : before - 1);
  return pair == std::string::npos ? std::string::npos : pair + 1;
}

Text AcceptablePaths(const Text& list) {
  Text out;
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find(u'\r', start);
    if (end == Text::npos) break;
    const Text item = list.substr(start, end - start);
    if (item.empty() || item.front() != u'/' || !PathExists(item)) break;
    out += item;
    out += u'\r';
    start = end + 1;
  }
  return out;
}

}  // namespace wexmoor

namespace wexmoor {

std::string QueueCommandMessage(QueueCommand command) {
  std::string message(kHandOverCommandItem);
  message += command == QueueCommand::kPause ? "pause" : command == QueueCommand::kResume ? "resume" : "?";
  return message + "\r\r";
}

HandOverRequest ParseHandOverMessage(const Text& message) {
  HandOverRequest request;
  if (message.starts_with(Utf8ToUtf16(kHandOverCommandItem))) {
    const Text word = message.substr(kHandOverCommandItem.size(), message.find(u'\r') - kHandOverCommandItem.size());
    request.command = word == u"pause" ? QueueCommand::kPause
                      : word == u"resume" ? QueueCommand::kResume
                                          : QueueCommand::kUnknown;
    return request;
  }
  Text list = message;
  const Text prefix = Utf8ToUtf16(kHandOverServerItem);
  if (list.starts_with(prefix)) {
    const std::size_t end = list.find(u'\r');
    request.server = list.substr(prefix.size(), end == Text::npos ? Text::npos : end - prefix.size());
    list = end == Text::npos ? Text() : list.substr(end + 1);
  }
  request.paths = AcceptablePaths(list);
  return request;
}

}  // namespace wexmoor
