#include "ftp/visible_address.h"

namespace wexmoor {

Text LookUpVisibleAddress(FtpSession&) { return {}; }
Text ParseVisibleAddressPage(TextView) { return {}; }
Text LocalAddress(FtpSession&) { return u"0.0.0.0"; }

}  // namespace wexmoor
