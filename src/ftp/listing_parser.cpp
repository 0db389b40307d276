#include "ftp/listing_parser.h"

namespace wexmoor {

Text ParseListing(TextView) { return {}; }
Text ParseListLine(TextView, Text& name) {
  name.clear();
  return {};
}

}  // namespace wexmoor
