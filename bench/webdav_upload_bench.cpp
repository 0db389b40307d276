// wexmoor-webdav-bench URL_HOST PORT USER PASSWORD FINGERPRINT FOLDER CONNECTIONS FILE...
// Uploads the files into FOLDER (made on the way) through the spooler's own
// WebDAV upload session over HTTPS: each under a temporary name, size
// checked, moved; CONNECTIONS sessions take the files in turn. Prints one
// JSON line with the time taken.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "spooler/webdav_upload_session.h"

using namespace wexmoor;

int main(int argc, char** argv) {
  if (argc < 9) {
    std::fprintf(stderr,
                 "usage: wexmoor-webdav-bench HOST PORT USER PASSWORD FINGERPRINT FOLDER CONNECTIONS FILE...\n");
    return 2;
  }
  ServerRecord record;
  record.name = u"bench";
  record.address = Utf8ToUtf16(argv[1]);
  record.port = std::atoi(argv[2]);
  record.protocol = kProtocolWebDavHttps;
  record.login = Utf8ToUtf16(argv[3]);
  record.password = Utf8ToUtf16(argv[4]);
  record.fingerprint = Utf8ToUtf16(argv[5]);
  record.timeOut = 60;
  const Text folder = Utf8ToUtf16(argv[6]) + u"/";
  const int connections = std::max(1, std::atoi(argv[7]));
  const std::vector<std::string> files(argv + 8, argv + argc);
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
        WebDavUploadSession session(clock, progress, nullptr);
        if (session.Open(record, nullptr) != SessionOpening::kOpen) {
          std::fprintf(stderr, "%s\n", Utf16ToUtf8(session.TakeLog()).c_str());
          failures++;
          return;
        }
        for (int i = next++; i < static_cast<int>(files.size()); i = next++) {
          PartRecord part;
          session.UsePart(&part);
          if (session.Upload(Utf8ToUtf16(files[static_cast<std::size_t>(i)]), folder, nullptr, nullptr) !=
              EntryOutcome::kSent) {
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
