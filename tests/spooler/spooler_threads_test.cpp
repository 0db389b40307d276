// The spooler's shared objects used from two threads at once, as the window's
// thread and the worker (or the update thread) use them.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "peers/test_paths.h"
#include "spooler/spooler_test_support.h"
#include "model/upload_queue.h"
#include "archive/zip_archive.h"

namespace wexmoor {
namespace {

using testing::T;
using testing::TempFolder;
using testing::WriteFile;

TEST(SpoolerThreads, QueueStaysWholeUnderAppendAndRemoval) {
  UploadQueue queue;
  constexpr int kEntries = 3000;
  std::atomic<bool> done{false};
  std::set<std::uint64_t> removed;
  std::jthread remover([&] {
    // Like the worker: take the first entry and remove it by identity.
    while (!done.load() || queue.Size() > 0) {
      if (auto e = queue.At(0)) {
        if (auto text = queue.RemoveById(e->id)) {
          EXPECT_EQ(*text, e->text);
          removed.insert(e->id);
        }
      }
    }
  });
  std::set<std::uint64_t> added;
  for (int i = 0; i < kEntries; ++i) added.insert(*queue.Append(u"/f" + IntToText(i) + u"|srv|"));
  done = true;
  remover.join();
  EXPECT_EQ(removed, added);
}

TEST(SpoolerThreads, PackingAndExtractionOverlapWithoutLosingTheBinding) {
  TempFolder dir;
  WriteFile(dir.File("data.bin"), std::string(200000, 'd'));
  ZipLibrary zip;
  {
    ZipLibraryUse use(zip);
    ArchiveHandle h = CreateArchive(zip, T(dir.File("source.zip")), kArchiveCreate);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(AddFileToArchive(zip, h, T(dir.File("data.bin")), u"data.bin"), 1);
    ASSERT_EQ(CloseArchive(zip, h), 1);
  }
  std::atomic<int> packed{0}, extracted{0};
  std::jthread extractor([&] {
    for (int i = 0; i < 20; ++i) {
      std::string folder = dir.File("out" + std::to_string(i));
      std::filesystem::create_directories(folder);
      if (ExtractArchive(zip, T(dir.File("source.zip")), T(folder)) == 1 &&
          std::filesystem::file_size(folder + "/data.bin") == 200000)
        ++extracted;
    }
  });
  for (int i = 0; i < 20; ++i) {
    ZipLibraryUse use(zip);
    ArchiveHandle h = CreateArchive(zip, T(dir.File("p" + std::to_string(i) + ".zip")), kArchiveCreate);
    if (h && AddFileToArchive(zip, h, T(dir.File("data.bin")), u"data.bin") == 1 && CloseArchive(zip, h) == 1)
      ++packed;
  }
  extractor.join();
  EXPECT_EQ(packed.load(), 20);
  EXPECT_EQ(extracted.load(), 20);
  EXPECT_FALSE(zip.Bound());
}

}  // namespace
}  // namespace wexmoor
