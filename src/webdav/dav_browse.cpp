#include "webdav/dav_browse.h"

#include "platform/code_page.h"
#include "webdav/dav_listing.h"

namespace wexmoor {

Text BrowseDavFolder(DavClient& client, const std::string& folder, StatusTarget* status) {
  if (status != nullptr) status->SetStatusText(Utf8ToUtf16("PROPFIND " + folder));
  DavAnswer answer = client.Propfind(folder, 1);
  if (answer.status == 404 && folder != "/") {
    const DavAnswer made = client.Mkcol(folder);
    if (made.Success()) answer = client.Propfind(folder, 1);
  }
  if (answer.failure == DavFailure::kConnection || answer.failure == DavFailure::kUntrusted) {
    return u"!!Impossible to initialise connection (perhaps an adress problem...)!!";
  }
  if (answer.status == 401 || answer.status == 403) {
    return u"!!Impossible to initialise connection (perhaps a login, or password problem...)!!";
  }
  if (!answer.Success()) return u"!!Error while opening the directory!! " + Utf8ToUtf16(folder);
  const auto listing = ParseMultistatus(answer.body);
  if (!listing) return u"!!Error while reading FTP content!!";
  const std::string self = DavHrefPath(PercentEncodePath(folder));
  Text out;
  for (const DavEntry& entry : listing->entries) {
    std::string path = entry.path;
    if (path == self || path + "/" == self || path == folder) continue;
    const std::string name = DavLastName(path);
    if (name.empty()) continue;
    out += Utf8ToUtf16(name) + u"|";
  }
  return out;
}

}  // namespace wexmoor
