// wexmoor-sftp-bench HOST PORT USER PASSWORD FINGERPRINT FOLDER CONNECTIONS FILE...
// Uploads the files into FOLDER (created on the way) through the spooler's
// own SFTP upload session: each under a temporary name, size checked,
// renamed; CONNECTIONS sessions take the files in turn. Prints one JSON line
// with the time taken. With WEXMOOR_BENCH_FINAL_NAME=1 in the environment the
// files are written under their final names (ServerTempName 0: no rename).
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "spooler/sftp_upload_session.h"

using namespace wexmoor;

int main(int argc, char** argv) {
  if (argc < 9) {
    std::fprintf(stderr, "usage: wexmoor-sftp-bench HOST PORT USER PASSWORD FINGERPRINT FOLDER CONNECTIONS FILE...\n");
    return 2;
  }
  StartSftpLibrary();
  ServerRecord record;
  record.name = u"bench";
  record.address = Utf8ToUtf16(argv[1]);
  record.port = std::atoi(argv[2]);
  record.protocol = kProtocolSftp;
  record.login = Utf8ToUtf16(argv[3]);
  record.password = Utf8ToUtf16(argv[4]);
  record.fingerprint = Utf8ToUtf16(argv[5]);
  record.timeOut = 30000;
  const char* finalName = std::getenv("WEXMOOR_BENCH_FINAL_NAME");
  record.tempName = finalName != nullptr && std::string(finalName) == "1" ? 0 : 1;
  const Text folder = Utf8ToUtf16(argv[6]) + u"/";
  const int connections = std::max(1, std::atoi(argv[7]));
  std::vector<std::string> files(argv + 8, argv + argc);
  std::int64_t bytes = 0;
  for (const auto& f : files) {
    struct stat info {};
    if (::stat(f.c_str(), &info) == 0) bytes += info.st_size;
  }
  SystemClock clock;
  std::atomic<int> next{0};
  std::atomic<int> failures{0};
  const auto start = std::chrono::steady_clock::now();
  {
    std::vector<std::jthread> workers;
    for (int c = 0; c < connections; ++c) {
      workers.emplace_back([&] {
        std::atomic<std::int64_t> progress{0};
        SftpUploadSession session(clock, progress, SftpSettings{});
        if (session.Open(record, nullptr) != SessionOpening::kOpen) {
          std::fprintf(stderr, "%s\n", Utf16ToUtf8(session.TakeLog()).c_str());
          failures++;
          return;
        }
        const int count = static_cast<int>(files.size());
        // As the scheduler does: the entry after this one is claimed now and
        // announced, so that the session can overlap the two.
        for (int i = next++, following = 0; i < count; i = following) {
          following = session.OverlapBytes() > 0 ? next++ : -1;
          session.ExpectNext(following >= 0 && following < count
                                 ? std::optional<ExpectedEntry>(
                                       ExpectedEntry{Utf8ToUtf16(files[static_cast<std::size_t>(following)]), folder})
                                 : std::nullopt);
          if (following < 0) following = next++;
          PartRecord part;
          session.UsePart(&part);
          const Text path = Utf8ToUtf16(files[static_cast<std::size_t>(i)]);
          if (session.Upload(path, folder, nullptr, nullptr) != EntryOutcome::kSent) {
            std::fprintf(stderr, "%s\n", Utf16ToUtf8(session.TakeLog()).c_str());
            failures++;
            return;
          }
          session.TakeLog();
        }
        session.Close(nullptr);
      });
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("{\"seconds\": %.4f, \"files\": %zu, \"bytes\": %lld, \"failures\": %d}\n", seconds, files.size(),
              static_cast<long long>(bytes), failures.load());
  return failures == 0 ? 0 : 1;
}
