#include "program/instance_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/code_page.h"
#include "platform/wait.h"
#include "program/instance_address.h"
#include "program/instance_message.h"

namespace wexmoor {
namespace {

using SteadyClock = std::chrono::steady_clock;

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

// Waits for `events` on `fd` until `deadline`.
bool WaitFor(int fd, short events, SteadyClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return WaitForDescriptor(fd, events, left > 0 ? left : 0) == WaitResult::kReady;
}

}  // namespace

std::optional<InstanceChannel> InstanceChannel::Claim(const Text& folder, TextView prefFileName,
                                                      ClaimOutcome* outcome) {
  auto report = [outcome](ClaimOutcome value) {
    if (outcome) *outcome = value;
  };
  InstanceChannel channel;
  const std::string lockPath = InstanceLockPath(folder, prefFileName);
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

  InstanceAddress a = InstanceAddressFor(folder, prefFileName);
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
                                                           const Text& pathList, std::chrono::milliseconds timeout,
                                                           const Text& server, std::string* reason) {
  return Send(folder, prefFileName, HandOverMessage(pathList, server), timeout, reason);
}

InstanceChannel::HandOverOutcome InstanceChannel::Send(const Text& folder, TextView prefFileName,
                                                       const std::string& message, std::chrono::milliseconds timeout,
                                                       std::string* reason) {
  const auto deadline = SteadyClock::now() + timeout;
  if (message.size() > kMaxMessageBytes) return HandOverOutcome::tooLong;
  const InstanceAddress a = InstanceAddressFor(folder, prefFileName);
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

  // "OK\r", or "NO " and a reason up to "\r".
  constexpr std::size_t kLongestAnswer = 1024;
  std::string answer;
  while (answer.empty() || (answer.back() != '\r' && answer.size() < kLongestAnswer)) {
    char buffer[1];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      answer.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLIN, deadline)) continue;
    break;
  }
  CloseFd(fd);
  if (answer == kHandOverAcknowledgement) return HandOverOutcome::delivered;
  if (answer.starts_with(kHandOverRefusal) && answer.back() == '\r') {
    if (reason) *reason = answer.substr(kHandOverRefusal.size(), answer.size() - kHandOverRefusal.size() - 1);
    return HandOverOutcome::refused;
  }
  return HandOverOutcome::noAnswer;
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

void InstanceChannel::StopListening() {
  for (Sender& s : senders_) CloseFd(s.fd);
  senders_.clear();
  if (listenFd_ >= 0) {
    CloseFd(listenFd_);
    // Removed while the lock is still ours, so no newer owner's file goes.
    if (!socketFile_.empty()) ::unlink(socketFile_.c_str());
  }
  socketFile_.clear();
}

void InstanceChannel::Close() {
  StopListening();
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
    const std::size_t end = HandOverMessageEnd(s.received, before);
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
  std::optional<HandOverRequest> request = PollRequest({});
  if (!request) return std::nullopt;
  return std::move(request->paths);
}

std::optional<HandOverRequest> InstanceChannel::PollRequest(const Judge& judge) {
  AcceptSenders();
  std::size_t i = 0;
  while (i < senders_.size()) {
    std::string message;
    bool dropped = false;
    if (ReadSender(i, message, dropped)) {
      HandOverRequest request = ParseHandOverMessage(Utf8ToUtf16(message));
      std::string refusal;
      if (request.command == QueueCommand::kUnknown) refusal = "it does not know this request";
      else if (request.command == QueueCommand::kNone && request.paths.empty()) refusal = "none of the paths exists";
      if (refusal.empty() && judge) refusal = judge(request);
      std::erase(refusal, '\r');
      const std::string answer =
          refusal.empty() ? std::string(kHandOverAcknowledgement) : std::string(kHandOverRefusal) + refusal + "\r";
      [[maybe_unused]] ssize_t n = ::send(senders_[i].fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      DropSender(i);
      if (refusal.empty()) return request;
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

}  // namespace wexmoor
