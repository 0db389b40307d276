// The web address of a file sent to a server whose folder a web server
// publishes: the server's web address followed by the file's path below the
// server's folder, each path segment percent-encoded (UTF-8).
#pragma once

#include "platform/text.h"

namespace wexmoor {

// Every byte of the UTF-8 form but A-Z a-z 0-9 - . _ ~ as %XX.
Text PercentEncodeSegment(TextView segment);

// `webAddress` + "/" + each segment of `pathBelowFolder` ("/" or "\\"
// separated; empty segments skipped) encoded. Empty when `webAddress` is
// empty or blank.
Text WebLink(TextView webAddress, TextView pathBelowFolder);

}  // namespace wexmoor
