// One running program per preference file. The first start takes a lock in
// a private run-time folder ("<name>.lock", the name made from the file's
// real path) and listens on a local socket (".<name>.sock" there, or an
// abstract name derived from it when that path is too long for a socket
// address). A later start for the same file finds the lock held, sends its
// paths through the socket and ends, so that only one program ever writes
// the preference file. Both files go when the owner ends.
// Where it listens: instance_address.h; what is sent: instance_message.h;
// what a start does with it: instance_start.h.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"
#include "program/instance_message.h"

namespace wexmoor {

class InstanceChannel {
 public:
  // Longest message a running program reads; longer ones are dropped.
  static constexpr std::size_t kMaxMessageBytes = 1u << 20;
  // Bytes read from one sender in one pass.
  static constexpr std::size_t kReadPerPass = 64u * 1024u;
  // Senders served at the same time; later ones wait in the socket's backlog.
  static constexpr std::size_t kMaxSenders = 8;
  // A sender that has not finished its message by then is dropped.
  static constexpr std::chrono::milliseconds kSenderIdleLimit{5000};
  static constexpr std::chrono::milliseconds kHandOverTimeout{2000};

  enum class ClaimOutcome { claimed, heldByOther, unavailable };
  enum class HandOverOutcome {
    delivered,   // acknowledged by the owner
    noListener,  // nothing sent (no socket, nobody listening, backlog full): safe to try again
    noAnswer,    // sent, but not acknowledged in time: the owner may still take it
    tooLong,     // nothing sent: the message would pass kMaxMessageBytes
    refused,     // answered: the owner cannot queue the paths (the reason is given)
  };
  // Says why a request cannot be queued; empty: it can.
  using Judge = std::function<std::string(const HandOverRequest&)>;

  // Takes the lock of `folder` for the preference file `prefFileName` and
  // listens for later starts. nullopt when another program holds the lock
  // (heldByOther) or the lock file cannot be made (unavailable); `outcome`
  // says which. A socket file left by a program that ended without removing
  // it is replaced. Without a usable socket the lock is still held.
  static std::optional<InstanceChannel> Claim(const Text& folder, TextView prefFileName,
                                              ClaimOutcome* outcome = nullptr);

  // Sends the paths of `pathList` (each followed by "\r"; relative ones are
  // made absolute against the current directory) to the program that holds
  // `folder` and waits at most `timeout` for its acknowledgement.
  // `server`, when not empty, names the server to queue for; `reason` takes
  // the owner's word when it refused.
  static HandOverOutcome HandOver(const Text& folder, TextView prefFileName, const Text& pathList,
                                  std::chrono::milliseconds timeout = kHandOverTimeout, const Text& server = {},
                                  std::string* reason = nullptr);
  // The same with a message made beforehand (HandOverMessage,
  // QueueCommandMessage).
  static HandOverOutcome Send(const Text& folder, TextView prefFileName, const std::string& message,
                              std::chrono::milliseconds timeout = kHandOverTimeout, std::string* reason = nullptr);

  InstanceChannel(InstanceChannel&& other) noexcept;
  InstanceChannel& operator=(InstanceChannel&& other) noexcept;
  InstanceChannel(const InstanceChannel&) = delete;
  InstanceChannel& operator=(const InstanceChannel&) = delete;
  // Stops listening, removes the socket file and frees the lock.
  ~InstanceChannel();

  // One bounded pass that never waits: accepts waiting senders and reads what
  // they sent. Returns the paths of the first complete message, each followed
  // by "\r", up to the first that is not an existing absolute path; nullopt
  // when no message with such a path is complete.
  std::optional<Text> PollPaths();
  // The same with the server a message names; `judge` (when given) decides
  // what is answered: a request it refuses is answered with its reason and
  // not returned. A message without any acceptable path is refused, unless
  // it asks for a QueueCommand this program knows.
  std::optional<HandOverRequest> PollRequest(const Judge& judge);

  // Closes the socket (and removes its file) and drops the senders not yet
  // answered; the lock stays held until the channel ends.
  void StopListening();

  bool Listening() const { return listenFd_ >= 0; }
  // The socket's address: a file path, or "@" and the abstract name.
  const std::string& Address() const { return address_; }

 private:
  struct Sender {
    int fd = -1;
    std::string received;
    std::chrono::steady_clock::time_point deadline;
  };

  InstanceChannel() = default;
  void Close();
  void DropSender(std::size_t index);
  void AcceptSenders();
  // Reads from sender `index`; true when its message is complete (in `message`).
  bool ReadSender(std::size_t index, std::string& message, bool& dropped);

  int lockFd_ = -1;
  std::string lockFile_;
  int listenFd_ = -1;
  std::string socketFile_;  // empty for an abstract address
  std::string address_;
  std::vector<Sender> senders_;
};

}  // namespace wexmoor
