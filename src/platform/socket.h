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
#include <vector>

#include "platform/wait.h"

namespace wexmoor {

// True when a TCP socket can be made (the network stack is usable).
bool NetworkUsable();

// Milliseconds of real monotonic time: network limits run on it.
std::int64_t NetworkMs();

// Opens a TCP connection to `host` (a dotted IPv4 address used as it is, or a
// name looked up through getaddrinfo, first IPv4 address) and `port`. Waits at
// most `timeoutMs` for the connection; returns the handle, or 0 on failure,
// time-out or stop. Malformed addresses ("...", empty) fail at once without
// any lookup.
int ConnectTcp(const std::string& host, int port, int timeoutMs, std::stop_token stop);

// One send call: the count the system accepted, 0 when the socket cannot take
// anything now, negative on error (closed peer included; never raises SIGPIPE).
long SendSome(int handle, const void* data, std::size_t size);

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
// Accepts one waiting client (non-blocking); returns its handle or 0.
int AcceptClient(int listenHandle);

void CloseSocket(int handle);

// The local IPv4 address of a connected socket, dotted; empty on failure.
std::string LocalIpv4Address(int handle);
// The IPv4 addresses of the local host name, dotted, in the resolver's order.
std::vector<std::string> HostIpv4Addresses();

}  // namespace wexmoor
