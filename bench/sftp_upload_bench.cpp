// wexmoor-sftp-bench HOST PORT USER PASSWORD FINGERPRINT FOLDER CONNECTIONS FILE...
// Uploads the files into FOLDER (created on the way) the way the spooler
// does: each under a temporary name, size checked, renamed; CONNECTIONS
// sessions take the files in turn. Prints one JSON line with the time taken.
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "sftp/sftp_session.h"

using namespace wexmoor;

int main(int argc, char** argv) {
  if (argc < 9) {
    std::fprintf(stderr, "usage: wexmoor-sftp-bench HOST PORT USER PASSWORD FINGERPRINT FOLDER CONNECTIONS FILE...\n");
    return 2;
  }
  StartSftpLibrary();
  SftpLogin login;
  login.host = Utf8ToUtf16(argv[1]);
  login.port = std::atoi(argv[2]);
  login.login = Utf8ToUtf16(argv[3]);
  login.password = Utf8ToUtf16(argv[4]);
  login.fingerprint = Utf8ToUtf16(argv[5]);
  login.timeOut = 30000;
  const Text folder = Utf8ToUtf16(argv[6]);
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
        SftpSession session(clock, progress);
        if (session.Connect(login, nullptr) != 1 || session.EnterFolderPath(folder, nullptr) != 1) {
          std::fprintf(stderr, "%s\n", Utf16ToUtf8(session.Log().Get()).c_str());
          failures++;
          return;
        }
        for (int i = next++; i < static_cast<int>(files.size()); i = next++) {
          const std::string& path = files[static_cast<std::size_t>(i)];
          const std::string name = path.substr(path.find_last_of('/') + 1);
          if (session.UploadUnderTemporaryName(Utf8ToUtf16(path), Utf8ToUtf16(name), false, nullptr, nullptr) != 1) {
            std::fprintf(stderr, "%s\n", Utf16ToUtf8(session.Log().Get()).c_str());
            failures++;
            return;
          }
        }
        session.Quit(nullptr);
      });
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("{\"seconds\": %.4f, \"files\": %zu, \"bytes\": %lld, \"failures\": %d}\n", seconds, files.size(),
              static_cast<long long>(bytes), failures.load());
  return failures == 0 ? 0 : 1;
}
