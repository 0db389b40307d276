// Turning a LIST text into names: the last word of each line, "." and ".."
// dropped, each name followed by "|".
#pragma once

#include "platform/text.h"

namespace wexmoor {

Text ParseListing(TextView text);
// Takes the first line of `text` (after the same clean-up ParseListing does)
// and puts its last word into `name`; returns the text after the first LF.
Text ParseListLine(TextView text, Text& name);

}  // namespace wexmoor
