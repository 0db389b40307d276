// Where a data connection goes, beyond the PASV and PORT forms: the EPSV
// reply ("229 ... (|||6446|)"), the EPRT argument ("|2|::1|6001|"), and the
// rule that data connections go to and come from the control connection's
// peer only.
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
  Text address;          // where to connect; empty: nowhere
  bool replaced = false; // the reply named another address than the peer
};
// Passive mode dials the control connection's peer, whatever the reply named
// (a private address behind NAT, a third party, a host name, text that is no
// address): only the port is taken from it. Without a known peer: nowhere.
DataAddressChoice ChooseDataAddress(TextView pasvAddress, TextView controlPeer);

// A port a data connection may be dialled on: 1..65535.
bool UsableDataPort(int port);

// Active mode: a connection to the listener is the server's only when it
// comes from the control connection's peer (both numeric, as PeerAddress
// gives them); any other is closed and the wait goes on.
bool IsControlPeer(TextView dataPeer, TextView controlPeer);

}  // namespace wexmoor
