// Non-blocking TCP over POSIX sockets. Every wait goes through platform/wait,
// so no call here blocks for longer than its limit or outlives a stop request
// by more than a slice.
//
// Handles are file descriptors; 0 always means "none" (a socket that would land
// on descriptor 0 is moved to a higher descriptor first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wait.h"

namespace wexmoor {

// True when a TCP socket can be made (the network stack is usable).
bool NetworkUsable();

// Milliseconds of real monotonic time: network limits run on it.
std::int64_t NetworkMs();

// A host as written in an address field: a name, a dotted IPv4 address, or an
// IPv6 literal, bare ("::1") or in brackets ("[::1]"). `host` is the text to
// look up or to use as it is (brackets removed); `valid` is false for text that
// cannot name a host (empty, controls, unbalanced brackets, "...").
struct HostText {
  std::string host;
  bool ipv6Literal = false;
  bool valid = false;
};
HostText ParseHostText(std::string_view text);

// Opens a TCP connection to `host` (see ParseHostText: a literal address is
// used as it is, a name is looked up through getaddrinfo and its IPv6 and IPv4
// addresses are tried in the resolver's order) and `port`. Waits at most
// `timeoutMs` for each address tried; returns the handle, or 0 on failure,
// time-out or stop. Malformed addresses ("...", empty) fail at once without
// any lookup.
int ConnectTcp(const std::string& host, int port, int timeoutMs, std::stop_token stop);

// The numeric address of the peer / of the local end of a connected socket
// ("127.0.0.1", "::1"; an IPv4-mapped IPv6 address is given as IPv4); empty
// on failure. `family` receives 4 or 6 (0 on failure) when not null.
std::string PeerAddress(int handle, int* family = nullptr);
std::string LocalAddress(int handle, int* family = nullptr);

// One send call: the count the system accepted, 0 when the socket cannot take
// anything now, negative on error (closed peer included; never raises SIGPIPE).
long SendSome(int handle, const void* data, std::size_t size);

// Zero-copy send of up to `count` bytes of the open file `fileFd`, from
// `offset` on (advanced by the count sent). Returns the count sent; 0 when the
// socket takes nothing now; kFileEnded when the file holds no byte at
// `offset`; kZeroCopyUnsupported when this socket and file cannot be paired
// (then send by blocks); another negative count on error.
constexpr long kFileEnded = -3;
constexpr long kZeroCopyUnsupported = -2;
long SendFileSome(int handle, int fileFd, std::int64_t& offset, std::size_t count);

// Sends all of `data`, waiting for writability in slices while nothing is
// accepted, for at most `timeoutMs` without progress. Returns the count sent
// (the whole size on success), negative when nothing could be sent at all.
long SendAll(int handle, const void* data, std::size_t size, int timeoutMs, std::stop_token stop);

// Waits at most `timeoutMs` (0: just a check) until the handle can be read
// (data, or the peer closed) / written.
WaitResult WaitReadable(int handle, int timeoutMs, std::stop_token stop);
WaitResult WaitWritable(int handle, int timeoutMs, std::stop_token stop);

// Up to `size` bytes: the count read, 0 when nothing was there or the peer has
// closed, negative on error.
long ReceiveSome(int handle, void* buffer, std::size_t size);

// A listening server on every local interface: backlog 100, non-blocking,
// SO_REUSEADDR. Returns the handle or 0.
int ListenTcp(int port);
// The same on every local IPv6 interface (IPv6 only).
int ListenTcp6(int port);
// Accepts one waiting client (non-blocking); returns its handle or 0.
int AcceptClient(int listenHandle);

void CloseSocket(int handle);

// The local IPv4 address of a connected socket, dotted; empty on failure.
std::string LocalIpv4Address(int handle);
// The IPv4 addresses of the local host name, dotted, in the resolver's order.
std::vector<std::string> HostIpv4Addresses();

}  // namespace wexmoor
