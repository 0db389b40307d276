#include "program/instance_start.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "peers/test_paths.h"
#include "platform/code_page.h"

namespace wexmoor {
namespace {

using namespace std::chrono_literals;
using testing::TempFolder;

constexpr TextView kPrefs = u"Wexmoor.prefs";

Text T(const std::string& s) { return Utf8ToUtf16(s); }

std::string Touch(const TempFolder& folder, const std::string& name) {
  const std::string path = folder.File(name);
  std::ofstream(path) << "x";
  return path;
}

// Polls like the main loop does until a list arrives or a few seconds pass.
std::optional<Text> PollFor(InstanceChannel& channel, std::chrono::milliseconds limit = 5000ms) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (std::optional<Text> paths = channel.PollPaths()) return paths;
    std::this_thread::sleep_for(5ms);
  }
  return std::nullopt;
}

// A hand-over on its own thread, so that the test's thread can poll.
std::future<InstanceChannel::HandOverOutcome> HandOverLater(const std::string& folder, const Text& list) {
  return std::async(std::launch::async, [folder, list] {
    return InstanceChannel::HandOver(T(folder), kPrefs, list, 3000ms);
  });
}

// A raw client of the channel's socket, for messages no hand-over sends.
int RawConnect(const std::string& address) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  socklen_t length;
  if (!address.empty() && address[0] == '@') {
    std::memcpy(a.sun_path + 1, address.data() + 1, address.size() - 1);
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address.size());
  } else {
    std::memcpy(a.sun_path, address.data(), address.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address.size() + 1);
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), length) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

TEST(InstanceChannel, OneOwnerPerFolderAndPreferenceFile) {
  TempFolder folder;
  InstanceChannel::ClaimOutcome outcome{};
  std::optional<InstanceChannel> first = InstanceChannel::Claim(T(folder.path()), kPrefs, &outcome);
  ASSERT_TRUE(first);
  EXPECT_EQ(outcome, InstanceChannel::ClaimOutcome::claimed);
  EXPECT_TRUE(first->Listening());
  EXPECT_TRUE(std::filesystem::exists(folder.File(".Wexmoor.prefs.sock")));

  EXPECT_FALSE(InstanceChannel::Claim(T(folder.path()), kPrefs, &outcome));
  EXPECT_EQ(outcome, InstanceChannel::ClaimOutcome::heldByOther);
  // A locked copy keeps its own preference file and may run beside it.
  EXPECT_TRUE(InstanceChannel::Claim(T(folder.path()), u"LockedWXM.prefs"));

  // Moving the channel keeps the lock; ending it frees the folder and takes
  // the socket file away.
  InstanceChannel moved = std::move(*first);
  first.reset();
  EXPECT_FALSE(InstanceChannel::Claim(T(folder.path()), kPrefs));
  { InstanceChannel gone = std::move(moved); }
  EXPECT_FALSE(std::filesystem::exists(folder.File(".Wexmoor.prefs.sock")));
  EXPECT_FALSE(std::filesystem::exists(folder.File("Wexmoor.prefs.lock")));
  {
    std::optional<InstanceChannel> again = InstanceChannel::Claim(T(folder.path()), kPrefs);
    EXPECT_TRUE(again);
  }
  // Nothing is left behind once every owner has ended.
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()) ||
              std::filesystem::exists(folder.File("LockedWXM.prefs.lock")));

  TempFolder readOnly;
  std::filesystem::permissions(readOnly.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  if (::geteuid() != 0) {
    EXPECT_FALSE(InstanceChannel::Claim(T(readOnly.path()), kPrefs, &outcome));
    EXPECT_EQ(outcome, InstanceChannel::ClaimOutcome::unavailable);
    std::ostringstream err;
    InstanceStart start = ClaimOrHandOver(T(readOnly.path()), kPrefs, u"", err, 200ms);
    EXPECT_FALSE(start.channel);
    EXPECT_FALSE(start.exitCode);  // runs on its own
  }
  std::filesystem::permissions(readOnly.path(), std::filesystem::perms::owner_all);
}

TEST(InstanceChannel, HandOverDeliversExistingPathsInOrder) {
  TempFolder folder;
  std::optional<InstanceChannel> owner = InstanceChannel::Claim(T(folder.path()), kPrefs);
  ASSERT_TRUE(owner);
  const std::string a = Touch(folder, "b first.txt");
  const std::string b = Touch(folder, "a-second-\xc3\xa9\xe4\xb8\xad.bin");
  std::filesystem::create_directory(folder.File("third folder"));
  const std::string c = folder.File("third folder");
  const Text list = T(a + "\r" + b + "\r" + c + "\r" + folder.File("missing") + "\r" + a + "\r");

  auto sent = HandOverLater(folder.path(), list);
  std::optional<Text> got = PollFor(*owner);
  EXPECT_EQ(sent.get(), InstanceChannel::HandOverOutcome::delivered);
  ASSERT_TRUE(got);
  // Up to the first path that names nothing, as on the command line.
  EXPECT_EQ(*got, T(a + "\r" + b + "\r" + c + "\r"));

  // A second message on the same channel, and an empty list that brings
  // nothing: refused, so that the start says so.
  auto again = HandOverLater(folder.path(), T(b + "\r"));
  got = PollFor(*owner);
  EXPECT_EQ(again.get(), InstanceChannel::HandOverOutcome::delivered);
  EXPECT_EQ(got, T(b + "\r"));
  auto empty = HandOverLater(folder.path(), u"");
  EXPECT_FALSE(PollFor(*owner, 500ms));
  EXPECT_EQ(empty.get(), InstanceChannel::HandOverOutcome::refused);
}

TEST(InstanceChannel, ClaimOrHandOverEndsTheSecondStart) {
  TempFolder folder;
  std::ostringstream err;
  InstanceStart first = ClaimOrHandOver(T(folder.path()), kPrefs, u"", err);
  ASSERT_TRUE(first.channel);
  EXPECT_FALSE(first.exitCode);

  const std::string file = Touch(folder, "f.txt");
  auto second = std::async(std::launch::async, [&] {
    std::ostringstream secondErr;
    return ClaimOrHandOver(T(folder.path()), kPrefs, T(file + "\r"), secondErr).exitCode;
  });
  EXPECT_EQ(PollFor(*first.channel), T(file + "\r"));
  EXPECT_EQ(second.get(), std::optional<int>(0));

  // A list too long for one message is refused before anything is sent.
  Text many;
  while (many.size() <= InstanceChannel::kMaxMessageBytes) many += T(file + "\r");
  EXPECT_EQ(InstanceChannel::HandOver(T(folder.path()), kPrefs, many), InstanceChannel::HandOverOutcome::tooLong);
  std::ostringstream tooLong;
  EXPECT_EQ(ClaimOrHandOver(T(folder.path()), kPrefs, many, tooLong).exitCode, std::optional<int>(1));
  EXPECT_NE(tooLong.str().find("too many paths"), std::string::npos);
  EXPECT_FALSE(first.channel->PollPaths());

  // An owner that never answers: the second start gives up with an error
  // instead of running beside it.
  InstanceStart third = ClaimOrHandOver(T(folder.path()), kPrefs, T(file + "\r"), err, 300ms);
  EXPECT_FALSE(third.channel);
  EXPECT_EQ(third.exitCode, std::optional<int>(1));
  EXPECT_NE(err.str().find("did not answer"), std::string::npos);
}

TEST(InstanceChannel, StaleSocketFileIsReplaced) {
  TempFolder folder;
  const std::string socketFile = folder.File(".Wexmoor.prefs.sock");
  {
    // A program that ended without cleaning up: its socket file stays.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strcpy(a.sun_path, socketFile.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::close(fd);
  }
  ASSERT_TRUE(std::filesystem::is_socket(socketFile));
  std::optional<InstanceChannel> owner = InstanceChannel::Claim(T(folder.path()), kPrefs);
  ASSERT_TRUE(owner);
  EXPECT_TRUE(owner->Listening());
  const std::string file = Touch(folder, "f");
  auto sent = HandOverLater(folder.path(), T(file + "\r"));
  EXPECT_EQ(PollFor(*owner), T(file + "\r"));
  EXPECT_EQ(sent.get(), InstanceChannel::HandOverOutcome::delivered);
  owner.reset();

  // Something else under the socket's name is left alone; the lock still
  // keeps a second program out.
  std::filesystem::remove(socketFile);
  std::ofstream(socketFile) << "not a socket";
  owner = InstanceChannel::Claim(T(folder.path()), kPrefs);
  ASSERT_TRUE(owner);
  EXPECT_FALSE(owner->Listening());
  EXPECT_TRUE(std::filesystem::is_regular_file(socketFile));
  EXPECT_EQ(InstanceChannel::HandOver(T(folder.path()), kPrefs, T(file + "\r"), 200ms),
            InstanceChannel::HandOverOutcome::noListener);
  EXPECT_FALSE(InstanceChannel::Claim(T(folder.path()), kPrefs));
}

TEST(InstanceChannel, LongFolderUsesAnAbstractAddress) {
  TempFolder base;
  std::string deep = base.path();
  for (int i = 0; i < 4; ++i) deep += "/" + std::string(40, static_cast<char>('a' + i));
  std::filesystem::create_directories(deep);
  std::optional<InstanceChannel> owner = InstanceChannel::Claim(T(deep), kPrefs);
  ASSERT_TRUE(owner);
  ASSERT_TRUE(owner->Listening());
  EXPECT_EQ(owner->Address()[0], '@');
  // Another folder gets another name.
  std::optional<InstanceChannel> elsewhere = InstanceChannel::Claim(T(deep + "/.."), kPrefs);
  ASSERT_TRUE(elsewhere);
  EXPECT_NE(elsewhere->Address(), owner->Address());

  const std::string file = deep + "/f";
  std::ofstream(file) << "x";
  auto sent = HandOverLater(deep, T(file + "\r"));
  EXPECT_EQ(PollFor(*owner), T(file + "\r"));
  EXPECT_EQ(sent.get(), InstanceChannel::HandOverOutcome::delivered);
  EXPECT_FALSE(elsewhere->PollPaths());
}

TEST(InstanceChannel, HostileSendersAreBoundedAndDoNotBlockOthers) {
  TempFolder folder;
  std::optional<InstanceChannel> owner = InstanceChannel::Claim(T(folder.path()), kPrefs);
  ASSERT_TRUE(owner);
  const std::string file = Touch(folder, "real");

  // A sender that never finishes, one with a NUL byte, one with names that
  // are not absolute paths, and one far past the size limit.
  int idle = RawConnect(owner->Address());
  ASSERT_GE(idle, 0);
  ASSERT_EQ(::send(idle, "/tmp\r", 5, 0), 5);
  int nul = RawConnect(owner->Address());
  ASSERT_EQ(::send(nul, "/tm\0p\r\r", 7, 0), 7);
  int relative = RawConnect(owner->Address());
  const std::string garbage = "real\r\xff\xfe\x80\r\r";
  ASSERT_EQ(::send(relative, garbage.data(), garbage.size(), 0), static_cast<ssize_t>(garbage.size()));
  int huge = RawConnect(owner->Address());
  ASSERT_GE(huge, 0);
  auto flood = std::async(std::launch::async, [huge] {
    const std::string chunk(64 * 1024, '/');
    std::size_t total = 0;
    while (total < 4 * InstanceChannel::kMaxMessageBytes) {
      const ssize_t n = ::send(huge, chunk.data(), chunk.size(), MSG_NOSIGNAL);
      if (n <= 0) break;  // dropped by the owner
      total += static_cast<std::size_t>(n);
    }
    return total;
  });

  // Passes go on until the owner has dropped the flood; each stays short.
  const auto end = std::chrono::steady_clock::now() + 20s;
  while (flood.wait_for(0ms) != std::future_status::ready && std::chrono::steady_clock::now() < end) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(owner->PollPaths());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    std::this_thread::sleep_for(1ms);
  }
  if (flood.wait_for(0ms) != std::future_status::ready) ::shutdown(huge, SHUT_RDWR);
  ASSERT_EQ(flood.wait_for(0ms), std::future_status::ready);
  EXPECT_LT(flood.get(), 4 * InstanceChannel::kMaxMessageBytes);
  EXPECT_FALSE(owner->PollPaths());

  // The garbage was refused and closed, or just closed; a real hand-over
  // still gets through beside the idle sender.
  char reply[64] = {};
  EXPECT_GT(::recv(relative, reply, sizeof reply - 1, 0), 3);
  EXPECT_STREQ(reply, "NO none of the paths exists\r");
  EXPECT_EQ(::recv(nul, reply, sizeof reply, 0), 0);
  auto sent = HandOverLater(folder.path(), T(file + "\r"));
  EXPECT_EQ(PollFor(*owner), T(file + "\r"));
  EXPECT_EQ(sent.get(), InstanceChannel::HandOverOutcome::delivered);
  for (int fd : {idle, nul, relative, huge}) ::close(fd);
}

}  // namespace
}  // namespace wexmoor
