// The delivery policy's rules over an in-memory server: whose part is resumed,
// when a final name counts as delivered, a local file changing under its
// upload, and never losing the good file on the server.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "spooler/delivery_policy.h"
#include "spooler/sent_digest.h"

namespace wexmoor::testing {
namespace {

// A folder of files in memory. Each operation can be made to answer
// otherwise; every call is written down.
class MemoryFiles final : public RemoteFiles {
 public:
  RemoteOffers offers;
  std::map<Text, std::string> files;
  std::vector<std::string> calls;
  // Answers that override the normal one, by call ("SIZE a.part", "RENAME a.part a").
  std::map<std::string, RemoteReply> answers;
  std::size_t block = 4096;

  RemoteOffers Offers() const override { return offers; }
  RemoteAnswer Size(const Text& name, std::int64_t& size) override {
    if (auto a = Answer("SIZE " + Utf16ToUtf8(name))) return *a;
    auto it = files.find(name);
    if (it == files.end()) return {RemoteReply::kMissing, {}};
    size = static_cast<std::int64_t>(it->second.size());
    return {};
  }
  RemoteAnswer Write(const Text& name, int fd, std::int64_t offset, std::int64_t length, TransferObserver& observer,
                     ProgressTarget*) override {
    if (auto a = Answer("WRITE " + Utf16ToUtf8(name) + " " + std::to_string(offset))) return *a;
    std::string& file = files[name];
    file.resize(static_cast<std::size_t>(offset));
    for (std::int64_t at = offset; at < offset + length;) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(block, offset + length - at));
      if (!observer.BeforeBlock(want)) return {RemoteReply::kStopped, {}};
      std::string chunk(want, '\0');
      if (::pread(fd, chunk.data(), want, at) != static_cast<ssize_t>(want)) return {RemoteReply::kRefused, {}};
      file += chunk;
      observer.AfterBlock(observer.WantsBytes() ? chunk.data() : nullptr, want);
      at += static_cast<std::int64_t>(want);
    }
    return {};
  }
  RemoteAnswer Rename(const Text& from, const Text& to) override {
    if (auto a = Answer("RENAME " + Utf16ToUtf8(from) + " " + Utf16ToUtf8(to))) return *a;
    if (!files.contains(from)) return {RemoteReply::kMissing, {}};
    if (files.contains(to) && !offers.renameReplaces) return {RemoteReply::kExists, {}};
    files[to] = files[from];
    files.erase(from);
    return {};
  }
  RemoteAnswer Remove(const Text& name) override {
    if (auto a = Answer("REMOVE " + Utf16ToUtf8(name))) return *a;
    return files.erase(name) != 0 ? RemoteAnswer{} : RemoteAnswer{RemoteReply::kMissing, {}};
  }
  RemoteAnswer SetTime(const Text&, std::int64_t) override { return {RemoteReply::kUnsupported, {}}; }
  // The digest of what the file holds; of a damaged copy when `damaged`.
  RemoteAnswer Hash(const Text& name, HashKind kind, std::string& hexDigest) override {
    if (auto a = Answer("HASH " + Utf16ToUtf8(name))) return *a;
    std::string held = files[name];
    if (damaged && !held.empty()) held[0] ^= 1;
    SentDigest digest(kind);
    digest.AfterBlock(held.data(), held.size());
    hexDigest = digest.HexDigest();
    return {};
  }
  bool damaged = false;

  bool Called(const std::string& prefix) const {
    for (const std::string& c : calls)
      if (c.starts_with(prefix)) return true;
    return false;
  }

 private:
  std::optional<RemoteAnswer> Answer(const std::string& call) {
    calls.push_back(call);
    // Prefix matches: "WRITE a.part" stands for every offset.
    for (const auto& [prefix, reply] : answers)
      if (call.starts_with(prefix)) return RemoteAnswer{reply, u"refused"};
    return std::nullopt;
  }
};

// Runs `action` before the block that starts at byte `at`.
class BlockHook final : public TransferObserver {
 public:
  BlockHook(std::int64_t at, std::function<void()> action) : at_(at), action_(std::move(action)) {}
  bool BeforeBlock(std::size_t size) override {
    if (seen_ >= at_ && action_) std::exchange(action_, nullptr)();
    seen_ += static_cast<std::int64_t>(size);
    return true;
  }

 private:
  std::int64_t at_;
  std::int64_t seen_ = 0;
  std::function<void()> action_;
};

class DeliveryPolicy : public ::testing::Test {
 protected:
  Text Local(const std::string& name, const std::string& bytes) {
    const Text path = Utf8ToUtf16(folder.File(name));
    EXPECT_TRUE(WriteWholeFile(path, bytes));
    return path;
  }
  // The record the entry's part has when it was begun from the file as it is.
  static PartRecord OwnRecord(const Text& path) {
    struct stat info {};
    EXPECT_EQ(::stat(PathToNative(path).c_str(), &info), 0);
    PartRecord part{info.st_size, info.st_mtim.tv_sec};
    part.localMtimeNs = info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec;
    part.inode = info.st_ino;
    part.token = u"0123456789abcdef";
    part.remotePath = u"srv|in/f.bin";
    return part;
  }
  DeliveryOutcome Deliver(const Text& path, PartRecord* part, TransferObserver* observer = nullptr) {
    DeliveryJob job;
    job.localPath = path;
    job.remoteName = u"f.bin";
    job.part = part;
    job.remotePath = u"srv|in/f.bin";
    return DeliverWithPolicy(remote, job, observer, nullptr, nullptr);
  }

  TempFolder folder;
  MemoryFiles remote;
};

const std::string kBytes = std::string(10000, 'n') + "tail";

// A part is resumed only by the entry that began it, at its path, from the
// same local file; anything else starts a part of its own from 0.
TEST_F(DeliveryPolicy, OnlyTheEntrysOwnPartIsResumed) {
  struct Case {
    const char* name;
    std::function<void(PartRecord&)> change;  // null: no record at all
    std::int64_t writtenFrom;
  };
  const Case cases[] = {
      {"no record (another entry began the part)", nullptr, 0},
      {"an older record without owner", [](PartRecord& p) { p.token.clear(); }, 0},
      {"begun at another remote path", [](PartRecord& p) { p.remotePath = u"srv|other/f.bin"; }, 0},
      {"begun from another local file", [](PartRecord& p) { p.inode += 1; }, 0},
      {"begun from an older version", [](PartRecord& p) { p.localMtimeNs -= 1; }, 0},
      {"its own", [](PartRecord&) {}, 6000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    remote.calls.clear();
    remote.offers.resume = true;
    remote.files = {{u"f.bin.part", std::string(6000, 'x')}};  // someone's part
    const Text path = Local("f.bin", kBytes);
    PartRecord part;
    if (c.change) {
      part = OwnRecord(path);
      c.change(part);
      if (c.writtenFrom > 0) remote.files[u"f.bin.part"] = kBytes.substr(0, 6000);
    }
    const DeliveryOutcome out = Deliver(path, &part);
    EXPECT_EQ(out.result, 1) << out.error.size();
    EXPECT_TRUE(remote.Called("WRITE f.bin.part " + std::to_string(c.writtenFrom)));
    EXPECT_EQ(remote.files[u"f.bin"], kBytes);
    EXPECT_FALSE(part.Begun());
  }
}

// A final name of the right size with no part beside it is this entry's file
// only when this entry's rename was issued.
TEST_F(DeliveryPolicy, DeliveredBeforeOnlyWhenTheRenameWasIssued) {
  struct Case {
    const char* name;
    bool renameIssued;
    std::string onServer;
    bool sentAgain;
  };
  const Case cases[] = {
      {"rename issued, answer lost", true, kBytes, false},
      {"an older file of the same size, no rename issued", false, std::string(kBytes.size(), 'o'), true},
      {"rename issued, but another size there", true, "short", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    remote.calls.clear();
    remote.files = {{u"f.bin", c.onServer}};
    const Text path = Local("f.bin", kBytes);
    PartRecord part = OwnRecord(path);
    part.renameIssued = c.renameIssued;
    const DeliveryOutcome out = Deliver(path, &part);
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(remote.Called("WRITE"), c.sentAgain);
    EXPECT_EQ(remote.files[u"f.bin"], c.sentAgain ? kBytes : c.onServer);
  }
}

// The local file is checked against the stamp of its open descriptor before
// the rename: any change fails the attempt, the part is dropped, the final
// name is not touched, and the next attempt sends the new file from 0.
TEST_F(DeliveryPolicy, ALocalFileChangedDuringItsUploadIsNotRenamed) {
  struct Case {
    const char* name;
    std::function<void(const std::string& path)> change;
  };
  const Case cases[] = {
      {"grew",
       [](const std::string& p) {
         const int fd = ::open(p.c_str(), O_WRONLY | O_APPEND);
         ASSERT_GE(fd, 0);
         ASSERT_EQ(::write(fd, "more", 4), 4);
         ::close(fd);
       }},
      {"rewritten in place, same size",
       [](const std::string& p) {
         const int fd = ::open(p.c_str(), O_WRONLY);
         ASSERT_GE(fd, 0);
         ASSERT_EQ(::pwrite(fd, "X", 1, 0), 1);
         struct timespec times[2] = {{0, UTIME_OMIT}, {1'700'000'000, 5}};
         ::futimens(fd, times);
         ::close(fd);
       }},
      {"replaced by a new file",
       [](const std::string& p) {
         ASSERT_TRUE(WriteWholeFile(Utf8ToUtf16(p + ".new"), std::string(kBytes.size(), 'r')));
         ASSERT_EQ(::rename((p + ".new").c_str(), p.c_str()), 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    remote.files = {{u"f.bin", "the good old file"}};
    const Text path = Local("f.bin", kBytes);
    PartRecord part;
    BlockHook hook(4096, [&] { c.change(PathToNative(path)); });
    const DeliveryOutcome out = Deliver(path, &part, &hook);
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(out.failure, DeliveryFailure::kLocalChanged);
    EXPECT_EQ(remote.files[u"f.bin"], "the good old file");
    EXPECT_FALSE(part.Begun()) << "the next attempt starts from 0";
    // The next attempt sends the file as it is now.
    remote.calls.clear();
    const std::string now = *ReadWholeFile(path);
    EXPECT_EQ(Deliver(path, &part).result, 1);
    EXPECT_TRUE(remote.Called("WRITE f.bin.part 0"));
    EXPECT_EQ(remote.files[u"f.bin"], now);
    EXPECT_EQ(remote.files.count(u"f.bin.part"), 0u);
  }
}

// The good file on the server is never removed before a new one stands in
// its place, whatever refuses.
TEST_F(DeliveryPolicy, TheGoodFileOnTheServerIsNeverLost) {
  struct Case {
    const char* name;
    bool renameReplaces;
    bool sizeCommand;
    std::map<std::string, RemoteReply> answers;
    int result;
    bool newFileThere;
  };
  const Case cases[] = {
      {"size of the part refused after the transfer", false, true,
       {{"SIZE f.bin.part", RemoteReply::kRefused}}, -1, false},
      {"part gone after the transfer", false, true, {{"SIZE f.bin.part", RemoteReply::kMissing}}, -1, false},
      {"a server that never tells sizes", false, false, {{"SIZE f.bin.part", RemoteReply::kUnsupported}}, 1, true},
      {"size unknown only now, on a server that tells sizes", false, true,
       {{"SIZE f.bin.part", RemoteReply::kUnsupported}}, -1, false},
      {"rename of the part refused", false, true, {{"RENAME f.bin.part f.bin", RemoteReply::kRefused}}, -1, false},
      {"the old file cannot be moved aside", false, true,
       {{"RENAME f.bin f.bin.", RemoteReply::kRefused}}, -1, false},
      {"the old file moved aside, then the part's rename fails", false, true,
       {{"RENAME f.bin.part f.bin", RemoteReply::kServerGone}}, -1, false},
      {"the old file cannot be removed afterwards", false, true, {{"REMOVE", RemoteReply::kRefused}}, 1, true},
      {"rename replaces", true, true, {}, 1, true},
      {"rename refused where the name exists", false, true, {}, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    remote.calls.clear();
    remote.offers.renameReplaces = c.renameReplaces;
    remote.offers.sizeCommand = c.sizeCommand;
    remote.answers = c.answers;
    remote.files = {{u"f.bin", "the good old file"}};
    const Text path = Local("f.bin", kBytes);
    PartRecord part;
    EXPECT_EQ(Deliver(path, &part).result, c.result);
    EXPECT_EQ(remote.files[u"f.bin"], c.newFileThere ? kBytes : "the good old file");
    for (const std::string& call : remote.calls) EXPECT_NE(call, "REMOVE f.bin");
  }
}

// Writes that were in flight together may complete in any order: a resume
// starts below the part's size by what may be missing.
TEST_F(DeliveryPolicy, AResumeStartsBelowThePartBySizeOfTheWindowInFlight) {
  const std::pair<std::int64_t, std::int64_t> cases[] = {{0, 6000}, {2048, 3952}, {8192, 0}};
  for (const auto& [below, from] : cases) {
    SCOPED_TRACE(below);
    remote.calls.clear();
    remote.offers.resume = true;
    remote.offers.resumeBelow = below;
    const Text path = Local("f.bin", kBytes);
    remote.files = {{u"f.bin.part", kBytes.substr(0, 6000)}};
    PartRecord part = OwnRecord(path);
    EXPECT_EQ(Deliver(path, &part).result, 1);
    EXPECT_TRUE(remote.Called("WRITE f.bin.part " + std::to_string(from)));
    EXPECT_EQ(remote.files[u"f.bin"], kBytes);
  }
}

// The digest of the bytes sent covers the whole file, a resumed part's bytes
// included; a server holding other bytes fails the attempt and the part.
TEST_F(DeliveryPolicy, TheServersDigestMustBeTheOneOfTheWholeFile) {
  SentDigest whole(HashKind::kSha256);
  whole.AfterBlock(kBytes.data(), kBytes.size());
  const struct {
    const char* name;
    std::size_t partHeld;  // bytes of an own part on the server (0: none)
    bool damaged;
    bool deliveredBefore;  // the final file there, the rename's answer lost
  } cases[] = {{"fresh", 0, false, false},
               {"resumed", 6000, false, false},
               {"damaged on the server", 0, true, false},
               {"delivered before", 0, false, true},
               {"delivered before, damaged on the server", 0, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    remote.offers.resume = true;
    remote.damaged = c.damaged;
    remote.calls.clear();
    const Text path = Local("f.bin", kBytes);
    remote.files.clear();
    PartRecord part;
    if (c.partHeld > 0) {
      remote.files[u"f.bin.part"] = kBytes.substr(0, c.partHeld);
      part = OwnRecord(path);
    }
    if (c.deliveredBefore) {
      remote.files[u"f.bin"] = kBytes;
      part = OwnRecord(path);
      part.renameIssued = true;
    }
    SentDigest digest(HashKind::kSha256);
    DeliveryJob job;
    job.localPath = path;
    job.remoteName = u"f.bin";
    job.part = &part;
    job.remotePath = u"srv|in/f.bin";
    job.digest = &digest;
    const DeliveryOutcome out = DeliverWithPolicy(remote, job, &digest, nullptr, nullptr);
    EXPECT_EQ(out.resumedFrom, static_cast<std::int64_t>(c.partHeld));
    EXPECT_NE(remote.Called("WRITE"), c.deliveredBefore);
    EXPECT_TRUE(remote.Called("HASH f.bin"));
    if (c.damaged) {
      EXPECT_EQ(out.result, -1);
      EXPECT_EQ(out.failure, DeliveryFailure::kVerify);
      EXPECT_THAT(Utf16ToUtf8(out.error), ::testing::HasSubstr("hash mismatch"));
      EXPECT_FALSE(part.Begun()) << "sent again from 0";
    } else {
      EXPECT_EQ(out.result, 1);
      EXPECT_EQ(Utf16ToUtf8(out.verification), "sha256:" + whole.HexDigest());
    }
  }
}

// Every block passes the observer; it gets the bytes when it asks for them.
TEST_F(DeliveryPolicy, TheObserverSeesEveryBlock) {
  struct Counting final : TransferObserver {
    bool WantsBytes() const override { return true; }
    bool BeforeBlock(std::size_t size) override {
      before += size;
      return true;
    }
    void AfterBlock(const char* data, std::size_t size) override {
      if (data != nullptr) bytes.append(data, size);
    }
    std::size_t before = 0;
    std::string bytes;
  } counting;
  const Text path = Local("f.bin", kBytes);
  PartRecord part;
  EXPECT_EQ(Deliver(path, &part, &counting).result, 1);
  EXPECT_EQ(counting.before, kBytes.size());
  EXPECT_EQ(counting.bytes, kBytes);
}

}  // namespace
}  // namespace wexmoor::testing
