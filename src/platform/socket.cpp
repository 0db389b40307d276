#include "platform/socket.h"

namespace wexmoor {

int ConnectTcp(const std::string&, int, int, std::stop_token) { return 0; }
long SendSome(int, const void*, std::size_t) { return -1; }
long SendAll(int, const void*, std::size_t, int, std::stop_token) { return -1; }
WaitResult WaitReadable(int, int, std::stop_token) { return WaitResult::kError; }
WaitResult WaitWritable(int, int, std::stop_token) { return WaitResult::kError; }
long ReceiveSome(int, void*, std::size_t) { return -1; }
int ListenTcp(int) { return 0; }
int AcceptClient(int) { return 0; }
void CloseSocket(int) {}
std::string LocalIpv4Address(int) { return {}; }
std::vector<std::string> HostIpv4Addresses() { return {}; }

}  // namespace wexmoor
