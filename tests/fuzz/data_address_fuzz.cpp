// EPSV replies, EPRT arguments and the PASV address decision from a hostile
// server: the port is 0 or 1..65535, and a replaced address is always the peer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ftp/data_address.h"
#include "ftp/data_channel.h"
#include "platform/code_page.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Text text = AnsiToUtf16(std::string(reinterpret_cast<const char*>(data), size));
  const int port = ParseEpsvPort(text);
  if (port < 0 || port > 65535) std::abort();
  (void)EprtArgument(2, text, port);
  const DataAddressChoice choice = ChooseDataAddress(ParsePasvAddress(text), u"127.0.0.1");
  if (choice.address != u"127.0.0.1") std::abort();
  const DataAddressChoice same = ChooseDataAddress(text, text);
  if (same.replaced) std::abort();
  return 0;
}
