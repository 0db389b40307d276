#include "startup/instance_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/code_page.h"
#include "platform/files.h"
#include "startup/version.h"

namespace wexmoor {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::string_view kAcknowledgement = "OK\r";
constexpr int kPollSliceMs = 10;

struct SocketAddress {
  sockaddr_un address{};
  socklen_t length = 0;
  std::string file;     // empty for an abstract name
  std::string display;  // file path, or "@" + abstract name
};

std::string CanonicalFolder(const Text& folder) {
  const std::string native = folder.empty() ? std::string(".") : PathToNative(folder);
  char resolved[PATH_MAX];
  if (::realpath(native.c_str(), resolved) != nullptr) return resolved;
  return native;
}

std::string NativeName(TextView prefFileName) { return PathToNative(prefFileName); }

std::string LockFilePath(const Text& folder, TextView prefFileName) {
  std::string path = folder.empty() ? std::string(".") : PathToNative(folder);
  if (path.back() != '/') path += '/';
  return path + NativeName(prefFileName) + ".lock";
}

std::uint64_t Fnv1a64(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

// The folder's socket file when its path fits a socket address, otherwise an
// abstract name made from the folder's canonical path.
SocketAddress AddressFor(const Text& folder, TextView prefFileName) {
  SocketAddress a;
  a.address.sun_family = AF_UNIX;
  const std::string canonical = CanonicalFolder(folder);
  std::string file = canonical;
  if (file.empty() || file.back() != '/') file += '/';
  file += '.';
  file += NativeName(prefFileName);
  file += ".sock";
  if (file.size() < sizeof(a.address.sun_path)) {
    std::memcpy(a.address.sun_path, file.data(), file.size());
    a.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + file.size() + 1);
    a.file = file;
    a.display = file;
    return a;
  }
  std::string key = canonical;
  key += '\0';
  key += NativeName(prefFileName);
  char name[32];
  const int length = std::snprintf(name, sizeof name, "wexmoor-%016llx",
                                   static_cast<unsigned long long>(Fnv1a64(key)));
  const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
  a.address.sun_path[0] = '\0';
  std::memcpy(a.address.sun_path + 1, name, size);
  a.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + size);
  a.display = std::string("@").append(name, size);
  return a;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool SameUser(int fd) {
  ucred cred{};
  socklen_t length = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0) return false;
  return cred.uid == ::geteuid();
}

int RemainingMs(SteadyClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  if (left <= 0) return 0;
  return left < kPollSliceMs ? static_cast<int>(left) : kPollSliceMs;
}

// Waits for `events` on `fd` in short slices until `deadline`.
bool WaitFor(int fd, short events, SteadyClock::time_point deadline) {
  while (true) {
    pollfd p{fd, events, 0};
    const int slice = RemainingMs(deadline);
    const int n = ::poll(&p, 1, slice);
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
    if (slice == 0) return false;
  }
}

// The paths of a received list up to the first that is not an existing
// absolute path, each followed by "\r".
Text AcceptablePaths(const Text& list) {
  Text out;
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find(u'\r', start);
    if (end == Text::npos) break;
    const Text item = list.substr(start, end - start);
    if (item.empty() || item.front() != u'/' || !PathExists(item)) break;
    out += item;
    out += u'\r';
    start = end + 1;
  }
  return out;
}

// The message a later start sends: absolute paths, each followed by "\r",
// then an empty line.
std::string MessageFor(const Text& pathList) {
  const Text here = CurrentDirectory();
  std::string message;
  std::size_t start = 0;
  while (start < pathList.size()) {
    std::size_t end = pathList.find(u'\r', start);
    if (end == Text::npos) end = pathList.size();
    Text item = pathList.substr(start, end - start);
    start = end + 1;
    if (item.empty()) continue;
    if (item.front() != u'/') {
      Text absolute = here;
      if (absolute.empty() || absolute.back() != u'/') absolute += u'/';
      item = absolute + item;
    }
    message += Utf16ToUtf8(item);
    message += '\r';
  }
  message += '\r';
  return message;
}

}  // namespace

std::optional<InstanceChannel> InstanceChannel::Claim(const Text& folder, TextView prefFileName,
                                                      ClaimOutcome* outcome) {
  auto report = [outcome](ClaimOutcome value) {
    if (outcome) *outcome = value;
  };
  InstanceChannel channel;
  const std::string lockPath = LockFilePath(folder, prefFileName);
  channel.lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (channel.lockFd_ < 0) {
    report(ClaimOutcome::unavailable);
    return std::nullopt;
  }
  int locked;
  do {
    locked = ::flock(channel.lockFd_, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const bool held = errno == EWOULDBLOCK;
    report(held ? ClaimOutcome::heldByOther : ClaimOutcome::unavailable);
    return std::nullopt;
  }
  // The owner removes the lock file when it ends. A file locked after that
  // removal is no longer the one at the path: the owner at the path is then
  // a newer program, or nobody, and the caller tries again.
  struct stat held {}, atPath {};
  if (::fstat(channel.lockFd_, &held) != 0 || ::stat(lockPath.c_str(), &atPath) != 0 ||
      held.st_ino != atPath.st_ino || held.st_dev != atPath.st_dev) {
    report(ClaimOutcome::heldByOther);
    return std::nullopt;
  }
  channel.lockFile_ = lockPath;
  // The owner's process number, for whoever looks.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(channel.lockFd_, 0) == 0) {
    [[maybe_unused]] ssize_t written = ::pwrite(channel.lockFd_, pid.data(), pid.size(), 0);
  }
  report(ClaimOutcome::claimed);

  SocketAddress a = AddressFor(folder, prefFileName);
  channel.address_ = a.display;
  if (!a.file.empty()) {
    // With the lock ours, a socket file still there was left by a program
    // that ended without removing it.
    struct stat st;
    if (::lstat(a.file.c_str(), &st) == 0) {
      if (!S_ISSOCK(st.st_mode)) return channel;  // not ours to remove: no listening
      ::unlink(a.file.c_str());
    }
  }
  channel.listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (channel.listenFd_ < 0) return channel;
  if (::bind(channel.listenFd_, reinterpret_cast<const sockaddr*>(&a.address), a.length) != 0) {
    CloseFd(channel.listenFd_);
    return channel;
  }
  channel.socketFile_ = a.file;
  if (!a.file.empty()) ::chmod(a.file.c_str(), 0600);
  if (::listen(channel.listenFd_, 16) != 0) {
    CloseFd(channel.listenFd_);
    if (!channel.socketFile_.empty()) ::unlink(channel.socketFile_.c_str());
    channel.socketFile_.clear();
  }
  return channel;
}

InstanceChannel::HandOverOutcome InstanceChannel::HandOver(const Text& folder, TextView prefFileName,
                                                           const Text& pathList, std::chrono::milliseconds timeout) {
  const auto deadline = SteadyClock::now() + timeout;
  const std::string message = MessageFor(pathList);
  if (message.size() > kMaxMessageBytes) return HandOverOutcome::tooLong;
  const SocketAddress a = AddressFor(folder, prefFileName);
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return HandOverOutcome::noListener;
  int connected;
  do {
    connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&a.address), a.length);
  } while (connected != 0 && errno == EINTR);
  if (connected != 0) {
    // No socket, nobody listening, or a full backlog (EAGAIN): nothing was
    // sent, so the caller may try again.
    CloseFd(fd);
    return HandOverOutcome::noListener;
  }

  std::size_t sent = 0;
  while (sent < message.size()) {
    const ssize_t n = ::send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLOUT, deadline)) continue;
    CloseFd(fd);
    return HandOverOutcome::noAnswer;
  }

  std::string answer;
  while (answer.size() < kAcknowledgement.size()) {
    char buffer[8];
    const ssize_t n = ::recv(fd, buffer, kAcknowledgement.size() - answer.size(), 0);
    if (n > 0) {
      answer.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLIN, deadline)) continue;
    break;
  }
  CloseFd(fd);
  return answer == kAcknowledgement ? HandOverOutcome::delivered : HandOverOutcome::noAnswer;
}

InstanceChannel::InstanceChannel(InstanceChannel&& other) noexcept { *this = std::move(other); }

InstanceChannel& InstanceChannel::operator=(InstanceChannel&& other) noexcept {
  if (this == &other) return *this;
  Close();
  lockFd_ = other.lockFd_;
  listenFd_ = other.listenFd_;
  socketFile_ = std::move(other.socketFile_);
  lockFile_ = std::move(other.lockFile_);
  other.lockFile_.clear();
  address_ = std::move(other.address_);
  senders_ = std::move(other.senders_);
  other.lockFd_ = -1;
  other.listenFd_ = -1;
  other.socketFile_.clear();
  other.senders_.clear();
  return *this;
}

InstanceChannel::~InstanceChannel() { Close(); }

void InstanceChannel::Close() {
  for (Sender& s : senders_) CloseFd(s.fd);
  senders_.clear();
  if (listenFd_ >= 0) {
    CloseFd(listenFd_);
    // Removed while the lock is still ours, so no newer owner's file goes.
    if (!socketFile_.empty()) ::unlink(socketFile_.c_str());
  }
  socketFile_.clear();
  // Removed while still locked, so that nothing is left behind; a later
  // start that opened the old file sees it is gone and opens a new one.
  if (lockFd_ >= 0 && !lockFile_.empty()) ::unlink(lockFile_.c_str());
  lockFile_.clear();
  CloseFd(lockFd_);
}

void InstanceChannel::DropSender(std::size_t index) {
  CloseFd(senders_[index].fd);
  senders_.erase(senders_.begin() + static_cast<std::ptrdiff_t>(index));
}

void InstanceChannel::AcceptSenders() {
  while (listenFd_ >= 0 && senders_.size() < kMaxSenders) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;  // nothing waiting (or a passing failure: next pass)
    }
    if (!SameUser(fd)) {
      ::close(fd);
      continue;
    }
    senders_.push_back(Sender{fd, {}, SteadyClock::now() + kSenderIdleLimit});
  }
}

bool InstanceChannel::ReadSender(std::size_t index, std::string& message, bool& dropped) {
  Sender& s = senders_[index];
  dropped = false;
  std::size_t readNow = 0;
  char buffer[4096];
  while (readNow < kReadPerPass) {
    const ssize_t n = ::recv(s.fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {  // closed before the end of its message, or failed
      dropped = true;
      return false;
    }
    const std::size_t before = s.received.size();
    s.received.append(buffer, static_cast<std::size_t>(n));
    readNow += static_cast<std::size_t>(n);
    if (s.received.find('\0', before) != std::string::npos || s.received.size() > kMaxMessageBytes + 1) {
      dropped = true;
      return false;
    }
    // The end: an empty line, at the very start or right after a path's "\r".
    std::size_t end = std::string::npos;
    if (s.received.front() == '\r') {
      end = 0;
    } else {
      const std::size_t pair = s.received.find("\r\r", before == 0 ? 0 : before - 1);
      if (pair != std::string::npos) end = pair + 1;
    }
    if (end != std::string::npos) {
      if (end > kMaxMessageBytes) {
        dropped = true;
        return false;
      }
      message = s.received.substr(0, end);
      return true;
    }
  }
  if (SteadyClock::now() > s.deadline) dropped = true;
  return false;
}

std::optional<Text> InstanceChannel::PollPaths() {
  AcceptSenders();
  std::size_t i = 0;
  while (i < senders_.size()) {
    std::string message;
    bool dropped = false;
    if (ReadSender(i, message, dropped)) {
      [[maybe_unused]] ssize_t n =
          ::send(senders_[i].fd, kAcknowledgement.data(), kAcknowledgement.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      DropSender(i);
      Text paths = AcceptablePaths(Utf8ToUtf16(message));
      if (!paths.empty()) return paths;
      continue;
    }
    if (dropped) {
      DropSender(i);
      continue;
    }
    ++i;
  }
  return std::nullopt;
}

InstanceStart ClaimOrHandOver(const Text& folder, TextView prefFileName, const Text& pathList, std::ostream& err,
                              std::chrono::milliseconds timeout) {
  const auto deadline = SteadyClock::now() + timeout;
  while (true) {
    InstanceChannel::ClaimOutcome outcome = InstanceChannel::ClaimOutcome::unavailable;
    std::optional<InstanceChannel> channel = InstanceChannel::Claim(folder, prefFileName, &outcome);
    if (channel) return InstanceStart{std::move(channel), std::nullopt};
    if (outcome == InstanceChannel::ClaimOutcome::unavailable) return InstanceStart{};

    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) break;
    const InstanceChannel::HandOverOutcome sent =
        InstanceChannel::HandOver(folder, prefFileName, pathList, std::min(left, InstanceChannel::kHandOverTimeout));
    if (sent == InstanceChannel::HandOverOutcome::delivered) return InstanceStart{std::nullopt, 0};
    if (sent == InstanceChannel::HandOverOutcome::tooLong) {
      err << Utf16ToUtf8(kProductName) << ": too many paths to hand to the " << Utf16ToUtf8(kProductName)
          << " that runs in this folder.\n";
      return InstanceStart{std::nullopt, 1};
    }
    // A message sent without an answer may still be taken later: never send
    // it twice.
    if (sent == InstanceChannel::HandOverOutcome::noAnswer) break;
    // No socket: the owner is starting (not listening yet) or ending (lock
    // not yet free).
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollSliceMs));
  }
  err << Utf16ToUtf8(kProductName) << ": another " << Utf16ToUtf8(kProductName)
      << " runs in this folder and did not answer.\n";
  return InstanceStart{std::nullopt, 1};
}

}  // namespace wexmoor
