// Uploads against a running FTP server on 127.0.0.1: one large file through
// the engine, and a dropped folder through the real upload worker.
#include <chrono>
#include <thread>

#include "bench_commands.h"
#include "bench_support.h"
#include "ftp/control_connection.h"
#include "ftp/file_upload.h"
#include "ftp/ftp_session.h"
#include "ftp/remote_session.h"
#include "spooler/upload_worker.h"

namespace wexmoor::bench {
namespace {

ServerRecord BenchServer(const Arguments& args, const std::string& remoteFolder) {
  ServerRecord record;
  record.name = u"bench";
  record.address = remoteFolder.empty() ? Text(u"127.0.0.1") : u"127.0.0.1/" + Path(remoteFolder);
  record.port = std::stoi(args[0]);
  record.login = Path(args[1]);
  record.password = Path(args[2]);
  record.timeOut = 10000;
  return record;
}

}  // namespace

int RunUploadFile(const Arguments& args) {
  ServerRecord record = BenchServer(args, args[4]);
  // Optional: the protocol ("ServerProtocol" value) and the trusted fingerprint.
  if (args.size() > 7) record.protocol = std::stoi(args[7]);
  if (args.size() > 8) record.fingerprint = Path(args[8]);
  Text file = Path(args[3]);
  SystemClock clock;
  ListenerPortSequence ports;
  std::atomic<std::int64_t> lastProgress{0};
  FtpSession session(clock, ports, lastProgress, u"");
  session.SetIpEchoUrl({});
  session.sendBlockSize = static_cast<std::size_t>(std::stoul(args[5]));
  session.zeroCopy = args[6] != "0";
  QuietDisplay display;

  Stopwatch watch;
  if (PrepareUploadSession(session, record, 0, &display.Status()) != 1) {
    std::fprintf(stderr, "upload-file: the session could not be prepared\n%s\n",
                 Utf16ToUtf8(session.Log().Get()).c_str());
    Disconnect(session, nullptr);
    return 1;
  }
  int sent = UploadFile(session, session.controlConnection(), record, file, &display.Progress(),
                        &display.Status());
  double seconds = watch.Seconds();
  Disconnect(session, nullptr);
  if (sent != 1) {
    std::fprintf(stderr, "upload-file: UploadFile returned %d\n", sent);
    return 1;
  }
  PrintFigure("seconds", seconds, "s");
  PrintFigure("bytes", static_cast<double>(FileSize(file)), "B");
  return 0;
}

int RunUploadDrop(const Arguments& args) {
  constexpr double kLimitSeconds = 900;
  ServerTable servers;
  ServerRecord record = BenchServer(args, args[4]);
  record.connections = std::stoi(args[5]);
  // Optional: the protocol ("ServerProtocol" value) and the trusted fingerprint.
  if (args.size() > 6) record.protocol = std::stoi(args[6]);
  if (args.size() > 7) record.fingerprint = Path(args[7]);
  servers.Set(1, record);
  UploadQueue queue;
  UiMessageRing addRing, removeRing;
  SharedFlags flags;
  SessionHistory history;
  SystemClock clock;
  ListenerPortSequence ports;
  FtpSession session(clock, ports, flags.lastProgressTime, u"");
  session.SetIpEchoUrl({});
  ZipLibrary zip;
  Translator translator;
  FixedIntakeUi ui(u"bench", false);
  WrittenArchives written;
  IntakeContext intake{queue, addRing, servers, flags, zip, translator, ui, &written, {}};
  QuietDisplay display;
  WorkerContext context{queue, servers, removeRing, flags, history, session, clock, display};

  Stopwatch watch;
  QueueDroppedItems(intake, Path(args[3]) + u"\r");
  int files = queue.Size();
  UploadWorker worker(context);
  worker.Start();
  while (queue.Size() > 0 && watch.Seconds() < kLimitSeconds)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  double seconds = watch.Seconds();
  int left = queue.Size();
  worker.Terminate();
  if (left > 0 || files == 0) {
    std::fprintf(stderr, "upload-drop: %d of %d entries still queued\n", left, files);
    return 1;
  }
  PrintFigure("seconds", seconds, "s");
  PrintFigure("files", files, "files");
  return 0;
}

int RunUploadLimited(const Arguments& args) {
  ServerTable servers;
  ServerRecord record = BenchServer(args, args[4]);
  record.connections = std::stoi(args[5]);
  servers.Set(1, record);
  UploadQueue queue;
  UiMessageRing addRing, removeRing;
  SharedFlags flags;
  SessionHistory history;
  SystemClock clock;
  ListenerPortSequence ports;
  FtpSession session(clock, ports, flags.lastProgressTime, u"");
  session.SetIpEchoUrl({});
  ZipLibrary zip;
  Translator translator;
  FixedIntakeUi ui(u"bench", false);
  WrittenArchives written;
  IntakeContext intake{queue, addRing, servers, flags, zip, translator, ui, &written, {}};
  QuietDisplay display;
  UploadLimits limits(clock);
  limits.SetGlobalKiB(std::stoi(args[6]));
  WorkerContext context{queue, servers, removeRing, flags, history, session, clock, display};
  context.limits = &limits;
  const double cutSeconds = std::stod(args[7]);
  const double changeAfter = std::stod(args[8]);  // negative: no change
  const int changeTo = std::stoi(args[9]);

  QueueDroppedItems(intake, Path(args[3]) + u"\r");
  UploadWorker worker(context);
  Stopwatch watch;
  worker.Start();
  bool changed = false;
  while (queue.Size() > 0 && watch.Seconds() < cutSeconds) {
    if (!changed && changeAfter >= 0 && watch.Seconds() >= changeAfter) {
      limits.SetGlobalKiB(changeTo);
      changed = true;
      const auto epoch = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch());
      PrintFigure("changed", epoch.count(), "s");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  PrintFigure("seconds", watch.Seconds(), "s");
  worker.Terminate();
  return 0;
}

}  // namespace wexmoor::bench
