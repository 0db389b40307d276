#include "program/remote_browser.h"

#include "ftp/control_connection.h"
#include "ftp/remote_session.h"
#include "ftp/status_target.h"
#include "platform/code_page.h"
#include "spooler/webdav_upload_session.h"
#include "webdav/dav_browse.h"

namespace wexmoor {

namespace {
constexpr int kWebBusyWaits = 30;
constexpr std::int64_t kWebBusyStepMs = 100;
}  // namespace

class RemoteBrowser::StatusForwarder final : public StatusTarget {
 public:
  StatusForwarder(const StatusSink& sink, std::stop_token stop) : sink_(sink), stop_(stop) {}
  void SetStatusText(const Text& line) override {
    if (sink_ && !stop_.stop_requested()) sink_(line);
  }

 private:
  const StatusSink& sink_;
  std::stop_token stop_;
};

RemoteBrowser::RemoteBrowser(const RemoteBrowserContext& context, StatusSink status,
                             DoneSink done)
    : context_(context),
      status_(std::move(status)),
      done_(std::move(done)),
      session_(context.clock, context.ports, ownProgressTime_, context.ipEchoUrl) {
  session_.trustAsker = context.trustAsker;
}

RemoteBrowser::~RemoteBrowser() { Stop(); }

bool RemoteBrowser::Start(ServerRecord record) {
  if (running_.load()) return false;
  if (thread_.joinable()) thread_.join();  // the last listing has ended already
  running_.store(true);
  thread_ = std::jthread(
      [this, record = std::move(record)](std::stop_token stop) { Run(stop, record); });
  return true;
}

void RemoteBrowser::Stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
}

void RemoteBrowser::Run(std::stop_token stop, ServerRecord record) {
  session_.SetStopToken(stop);
  // Give a running web request up to three seconds, then go on regardless.
  for (int i = 0; i < kWebBusyWaits && context_.flags.webBusy.load() != 0; ++i)
    if (!context_.clock.SleepFor(kWebBusyStepMs, stop)) break;

  Text result;
  if (!stop.stop_requested()) {
    BusyHold ftpHold(context_.flags.ftpBusy);
    StatusForwarder forwarder(status_, stop);
    if (IsWebDav(record.protocol)) {
      DavClient client(context_.clock, ownProgressTime_);
      client.SetStopToken(stop);
      client.SetTrustCheck([&](const DavCertificate& certificate) {
        return DavCertificateTrusted(certificate, record, context_.trustAsker, client.Log(), context_.clock);
      });
      const DavEndpoint endpoint = DavEndpointFor(record);
      client.Configure(endpoint, Utf16ToUtf8(record.login), Utf16ToUtf8(record.password), record.timeOut);
      result = BrowseDavFolder(client, endpoint.basePath, &forwarder);
      context_.history.Append(client.Log().Get());
    } else if (record.protocol == kProtocolSftp) {
      SftpSession sftp(context_.clock, ownProgressTime_);
      sftp.SetStopToken(stop);
      HostKeyTrustAsker* asker = context_.sftp.trustAsker;
      sftp.SetTrustWindow([asker, name = record.name](const HostKeyQuestion& question) {
        if (asker != nullptr) asker->AskHostKeyTrust(name, question);
        return false;
      });
      const SftpTarget target =
          SftpTargetFor(record, record.fingerprint, context_.sftp.sshFolder, context_.sftp.agentSocket);
      result = BrowseSftpServer(sftp, target.login, target.folderPath, &forwarder);
      context_.history.Append(sftp.Log().Get());
    } else {
      result = BrowseServer(session_, record, &forwarder);
      if (session_.controlConnection() != 0) Disconnect(session_, nullptr);
      context_.history.Append(session_.Log().Get());
    }
  }
  if (!stop.stop_requested() && done_) done_(result);
  running_.store(false);
}

}  // namespace wexmoor
