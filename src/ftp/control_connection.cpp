#include "ftp/control_connection.h"

namespace wexmoor {

int StartNetwork(FtpSession&) { return 1; }
ServerAddressParts SplitServerAddress(TextView address) { return {Text(address), {}}; }
void OpenControlConnection(FtpSession&, ServerRecord&, StatusTarget*) {}
int Login(FtpSession&, int, ServerRecord&, StatusTarget*) { return -1; }
int Disconnect(FtpSession& session, StatusTarget*) {
  session.CloseAllSockets();
  return 1;
}

}  // namespace wexmoor
