// The remote browser's look at a WebDAV folder: PROPFIND (Depth 1) on it,
// made first when it is missing, as the other protocols enter (and make) it.
#pragma once

#include <string>

#include "model/status_target.h"
#include "platform/text.h"
#include "webdav/dav_client.h"

namespace wexmoor {

// "name|name|" (the folder's own entry left out), or an error text
// beginning with "!!". `folder` is absolute, UTF-8, ends with "/".
Text BrowseDavFolder(DavClient& client, const std::string& folder, StatusTarget* status);

}  // namespace wexmoor
