#include "platform/folder_watch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "peers/test_paths.h"

namespace wexmoor {
namespace {

using testing::TempFolder;
using Kind = FolderEvent::Kind;

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Collects events until `done` holds or 5 s passed.
std::vector<FolderEvent> Collect(FolderWatch& watch, const std::function<bool(const std::vector<FolderEvent>&)>& done) {
  std::vector<FolderEvent> all;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done(all) && std::chrono::steady_clock::now() < until) {
    for (auto& e : watch.Wait(100)) all.push_back(std::move(e));
  }
  return all;
}

bool Has(const std::vector<FolderEvent>& events, Kind kind, const std::string& path) {
  for (const auto& e : events)
    if (e.kind == kind && e.path == path) return true;
  return false;
}

TEST(FolderWatch, ReportsWritesClosesMovesAndNewFoldersBelowTheRoot) {
  TempFolder dir, outside;
  const std::string root = dir.path();
  ::mkdir((root + "/old").c_str(), 0755);
  ::mkdir((root + "/skip").c_str(), 0755);
  FolderWatch watch([&](const std::string& path) { return path == root + "/skip"; });
  ASSERT_TRUE(watch.AddTree(root));
  EXPECT_EQ(watch.WatchedFolders(), 2u);  // root and old, not skip

  WriteFile(root + "/old/a.txt", "a");
  WriteFile(root + "/skip/hidden.txt", "h");
  WriteFile(outside.File("moved.txt"), "m");
  ASSERT_EQ(std::rename(outside.File("moved.txt").c_str(), (root + "/moved.txt").c_str()), 0);
  // A tree made at once: the new folder is reported and watched, and what is
  // written below it afterwards is seen.
  ::mkdir((root + "/new").c_str(), 0755);
  ::mkdir((root + "/new/deeper").c_str(), 0755);
  auto events = Collect(watch, [&](const auto& all) {
    return Has(all, Kind::kFolderAdded, root + "/new") && Has(all, Kind::kMovedIn, root + "/moved.txt");
  });
  EXPECT_TRUE(Has(events, Kind::kWritten, root + "/old/a.txt"));
  EXPECT_TRUE(Has(events, Kind::kClosed, root + "/old/a.txt"));
  EXPECT_TRUE(Has(events, Kind::kMovedIn, root + "/moved.txt"));
  EXPECT_TRUE(Has(events, Kind::kFolderAdded, root + "/new"));
  for (const auto& e : events) EXPECT_EQ(e.path.find("/skip/"), std::string::npos) << e.path;

  WriteFile(root + "/new/deeper/b.txt", "b");
  events = Collect(watch, [&](const auto& all) { return Has(all, Kind::kClosed, root + "/new/deeper/b.txt"); });
  EXPECT_TRUE(Has(events, Kind::kClosed, root + "/new/deeper/b.txt"));
}

TEST(FolderWatch, LostEventsAreReportedAsOverflow) {
  TempFolder dir;
  FolderWatch watch;
  ASSERT_TRUE(watch.AddTree(dir.path()));
  // More events than the kernel queues by default (16384), none read meanwhile.
  for (int i = 0; i < 9000; ++i) WriteFile(dir.File(std::string("f").append(std::to_string(i))), "x");
  auto events = Collect(watch, [](const auto& all) {
    for (const auto& e : all)
      if (e.kind == Kind::kOverflow) return true;
    return false;
  });
  bool overflow = false;
  for (const auto& e : events) overflow = overflow || e.kind == Kind::kOverflow;
  EXPECT_TRUE(overflow);
}

TEST(FolderWatch, StopRequestEndsALongWaitAtOnce) {
  TempFolder dir;
  FolderWatch watch;
  ASSERT_TRUE(watch.AddTree(dir.path()));
  std::stop_source source;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    source.request_stop();
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(watch.Wait(20000, source.get_token()).empty());
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // A watch that could not be made waits for nothing and says so.
  EXPECT_FALSE(watch.AddTree(dir.File("missing")));
}

TEST(FolderWatch, RenameNeverReplacesAnExistingFile) {
  TempFolder dir;
  WriteFile(dir.File("a"), "a");
  WriteFile(dir.File("b"), "b");
  EXPECT_FALSE(RenameNoReplace(dir.File("a"), dir.File("b")));
  EXPECT_TRUE(RenameNoReplace(dir.File("a"), dir.File("c")));
  auto st = StatNative(dir.File("b"));
  ASSERT_TRUE(st);
  EXPECT_EQ(st->size, 1);
}

}  // namespace
}  // namespace wexmoor
