#include "ftp/remote_session.h"

namespace wexmoor {

Text OpenRemoteSession(FtpSession&, const ServerRecord&, int, int, StatusTarget*) {
  return u"!!Impossible to initialise connection (perhaps an adress problem...)!!";
}
int PrepareUploadSession(FtpSession&, const ServerRecord&, int, StatusTarget*) { return 0; }
Text BrowseServer(FtpSession&, const ServerRecord&, StatusTarget*) {
  return u"!!Impossible to initialise connection (perhaps an adress problem...)!!";
}
int ChangeFolder(FtpSession&, int, ServerRecord&, TextView, StatusTarget*) { return -1; }
int MakeFolder(FtpSession&, int, ServerRecord&, TextView, StatusTarget*) { return -1; }
int ListFolder(FtpSession&, int, ServerRecord&, TextView, Text& listing, StatusTarget*) {
  listing.clear();
  return -1;
}
int ReceiveListing(FtpSession&, int, ServerRecord&, int, Text& listing, StatusTarget*) {
  listing.clear();
  return -1;
}

}  // namespace wexmoor
