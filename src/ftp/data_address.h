// Where a data connection goes, beyond the PASV and PORT forms: the EPSV
// reply ("229 ... (|||6446|)"), the EPRT argument ("|2|::1|6001|"), and the
// rule that a passive reply naming another host than the control
// connection's peer is not followed.
#pragma once

#include "platform/text.h"

namespace wexmoor {

// The port of an EPSV reply line: the text between the first "(" and the
// next ")" must be three equal delimiters (a printable character other than
// a digit), a decimal port 1..65535, and the delimiter again. 0 otherwise.
int ParseEpsvPort(TextView line);

// The argument of EPRT: delimiter "|", 1 for IPv4 or 2 for IPv6, the
// numeric address and the port ("|1|127.0.0.1|6001|").
Text EprtArgument(int family, TextView address, int port);

struct DataAddressChoice {
  Text address;          // where to connect
  bool replaced = false; // the reply named another address than the peer
};
// The address a PASV reply named is used only when it is the control
// connection's peer; otherwise the peer is dialled. Without a known peer, or
// when the reply's text is no dotted address (it fails as it is), it stays.
DataAddressChoice ChooseDataAddress(TextView pasvAddress, TextView controlPeer);

}  // namespace wexmoor
