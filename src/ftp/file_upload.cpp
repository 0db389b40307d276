#include "ftp/file_upload.h"

namespace wexmoor {

int UploadFile(FtpSession&, int, ServerRecord&, const Text&, ProgressTarget*, StatusTarget*) { return 0; }
int SendFileData(FtpSession&, std::FILE*, int, ProgressTarget*, std::int64_t, StatusTarget*, ServerRecord&) {
  return -1;
}
Text RemoteFileName(TextView localPath) { return Text(localPath); }

}  // namespace wexmoor
