#include "ftp/data_address.h"

namespace wexmoor {

int ParseEpsvPort(TextView line) {
  const std::size_t open = line.find(u'(');
  if (open == TextView::npos) return 0;
  const std::size_t close = line.find(u')', open + 1);
  if (close == TextView::npos) return 0;
  const TextView inner = line.substr(open + 1, close - open - 1);
  if (inner.size() < 5) return 0;
  const char16_t d = inner[0];
  if (d < 33 || d > 126 || (d >= u'0' && d <= u'9')) return 0;
  if (inner[1] != d || inner[2] != d || inner.back() != d) return 0;
  const TextView digits = inner.substr(3, inner.size() - 4);
  if (digits.empty() || digits.size() > 5) return 0;
  int port = 0;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return 0;
    port = port * 10 + (c - u'0');
  }
  return port >= 1 && port <= 65535 ? port : 0;
}

Text EprtArgument(int family, TextView address, int port) {
  // Appended piece by piece: GCC 12 at -O3 flags "literal + string" with a
  // false -Werror=restrict (GCC bug 105329).
  Text argument = u"|";
  argument += IntToText(family);
  argument += u'|';
  argument += address;
  argument += u'|';
  argument += IntToText(port);
  argument += u'|';
  return argument;
}

DataAddressChoice ChooseDataAddress(TextView pasvAddress, TextView controlPeer) {
  DataAddressChoice choice;
  choice.address = Text(controlPeer);
  choice.replaced = !controlPeer.empty() && pasvAddress != controlPeer;
  return choice;
}

bool UsableDataPort(int port) { return port >= 1 && port <= 65535; }

bool IsControlPeer(TextView dataPeer, TextView controlPeer) { return !controlPeer.empty() && dataPeer == controlPeer; }

}  // namespace wexmoor
