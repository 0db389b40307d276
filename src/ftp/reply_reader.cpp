#include "ftp/reply_reader.h"

namespace wexmoor {

void LogLine(FtpSession&, TextView, StatusTarget*) {}
long SendCommand(FtpSession&, int, const ServerRecord&, TextView, StatusTarget*) { return -1; }
Text ReadReply(FtpSession&, int, ServerRecord&, int, StatusTarget*) { return u"!! No Connection !!"; }
int ReplyHasCode(TextView, TextView) { return 0; }
int RunCommand(FtpSession&, int, ServerRecord&, TextView, TextView, CommandReply& commandReply, StatusTarget*) {
  commandReply = {};
  return -1;
}

}  // namespace wexmoor
