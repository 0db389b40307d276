#include "ftp/data_channel.h"

namespace wexmoor {

int OpenDataChannel(FtpSession&, int, ServerRecord&, StatusTarget*) { return -1; }
int OpenPassive(FtpSession&, int, ServerRecord&, TextView, StatusTarget*) { return -1; }
int OpenActive(FtpSession&, int, ServerRecord&, StatusTarget*) { return -1; }
int AwaitDataConnection(FtpSession&, ServerRecord&) { return 1; }
void CloseDataChannel(FtpSession&, StatusTarget*) {}
Text ParsePasvAddress(TextView) { return {}; }
int ParsePasvPort(TextView) { return 0; }

}  // namespace wexmoor
