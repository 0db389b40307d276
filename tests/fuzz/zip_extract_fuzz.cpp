// A downloaded archive may be anything: extraction must neither crash nor
// write outside its folder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/files.h"
#include "archive/zip_archive.h"
#include "archive/zip_library.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace fs = std::filesystem;
  const std::string base = "/tmp/wexmoor-fuzz-zip-" + std::to_string(::getpid());
  const std::string inside = base + "/in/out";
  std::error_code ec;
  fs::remove_all(base, ec);
  fs::create_directories(inside, ec);
  const std::string archive = base + "/Temp.zip";
  WriteWholeFile(NativeToPath(archive), std::string_view(reinterpret_cast<const char*>(data), size));
  ZipLibrary zip;
  (void)ExtractArchive(zip, NativeToPath(archive), NativeToPath(inside));
  // Nothing may appear beside the archive or above the folder.
  for (const auto& entry : fs::recursive_directory_iterator(base, ec)) {
    const std::string p = entry.path().string();
    if (p == archive || p == base + "/in" || p.rfind(inside, 0) == 0) continue;
    std::abort();
  }
  return 0;
}
