// A WebDAV multistatus answer (PROPFIND) read with a real XML parser: one
// entry per <response>, with its decoded path, whether it is a folder and
// its length. Bounded: an answer past the limits below is refused whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wexmoor {

struct DavEntry {
  std::string path;  // the href's path, percent-decoded, UTF-8 ("/dav/a b/")
  bool folder = false;
  std::int64_t length = -1;  // getcontentlength; -1 when not given
  bool found = true;         // false: the properties came with a non-2xx status
};

struct DavListing {
  std::vector<DavEntry> entries;
};

inline constexpr std::size_t kMaxDavEntries = 100'000;
inline constexpr std::size_t kMaxDavAnswerBytes = 32u << 20;

// Nothing when `xml` is not a well-formed multistatus within the limits.
std::optional<DavListing> ParseMultistatus(std::string_view xml);

// "%41b%2Fc" -> "Ab/c"; a malformed escape is kept as it is. A full URL
// ("https://host:port/p") is reduced to its path first.
std::string DavHrefPath(std::string_view href);

// The last name of a path, without a trailing "/".
std::string DavLastName(std::string_view path);

}  // namespace wexmoor
