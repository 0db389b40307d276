#include "webdav/dav_listing.h"

#include <expat.h>

#include <cstring>

namespace wexmoor {
namespace {

// Names arrive as "namespace-URI name" (the parser is created with ' ' as
// the separator); WebDAV's own namespace is "DAV:".
constexpr std::string_view kDav = "DAV: ";
constexpr int kMaxDepth = 64;

enum class Field { kNone, kHref, kLength, kStatus };

struct Reader {
  DavListing listing;
  bool failed = false;
  bool multistatus = false;
  int depth = 0;
  bool inResponse = false;
  bool inPropstat = false;
  bool inProp = false;
  // The current <response> and <propstat>.
  DavEntry entry;
  bool propFolder = false;
  std::string propLength;
  std::string status;
  bool sawHref = false;
  Field field = Field::kNone;
  std::string text;
};

std::string_view DavName(const XML_Char* name) {
  const std::string_view full(name);
  if (full.substr(0, kDav.size()) != kDav) return {};
  return full.substr(kDav.size());
}

// A propstat's status line: "HTTP/1.1 200 OK"; a 2xx code counts.
bool StatusIsSuccess(std::string_view status) {
  const std::size_t space = status.find(' ');
  if (space == std::string_view::npos || space + 1 >= status.size()) return false;
  return status[space + 1] == '2';
}

std::optional<std::int64_t> ParseLength(std::string_view digits) {
  while (!digits.empty() && (digits.front() == ' ' || digits.front() == '\n' || digits.front() == '\t' ||
                             digits.front() == '\r'))
    digits.remove_prefix(1);
  while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\n' || digits.back() == '\t' ||
                             digits.back() == '\r'))
    digits.remove_suffix(1);
  if (digits.empty() || digits.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

void XMLCALL OnStart(void* user, const XML_Char* name, const XML_Char**) {
  auto& r = *static_cast<Reader*>(user);
  if (r.failed) return;
  if (++r.depth > kMaxDepth) {
    r.failed = true;
    return;
  }
  const std::string_view local = DavName(name);
  r.field = Field::kNone;
  if (r.depth == 1) {
    r.multistatus = local == "multistatus";
  } else if (local == "response" && r.depth == 2) {
    r.inResponse = true;
    r.entry = DavEntry{};
    r.entry.found = false;
    r.sawHref = false;
  } else if (r.inResponse && local == "href" && r.depth == 3) {
    r.field = Field::kHref;
    r.text.clear();
  } else if (r.inResponse && local == "propstat" && r.depth == 3) {
    r.inPropstat = true;
    r.propFolder = false;
    r.propLength.clear();
    r.status.clear();
  } else if (r.inPropstat && local == "status" && r.depth == 4) {
    r.field = Field::kStatus;
    r.text.clear();
  } else if (r.inPropstat && local == "prop" && r.depth == 4) {
    r.inProp = true;
  } else if (r.inProp && local == "getcontentlength" && r.depth == 5) {
    r.field = Field::kLength;
    r.text.clear();
  } else if (r.inProp && local == "collection" && r.depth == 6) {
    r.propFolder = true;  // inside <resourcetype>
  } else if (r.inResponse && local == "status" && r.depth == 3) {
    r.field = Field::kStatus;  // a response without propstat
    r.text.clear();
  }
}

void XMLCALL OnText(void* user, const XML_Char* text, int length) {
  auto& r = *static_cast<Reader*>(user);
  if (r.failed || r.field == Field::kNone) return;
  if (r.text.size() + static_cast<std::size_t>(length) > 8192) {
    r.failed = true;
    return;
  }
  r.text.append(text, static_cast<std::size_t>(length));
}

void XMLCALL OnEnd(void* user, const XML_Char* name) {
  auto& r = *static_cast<Reader*>(user);
  if (r.failed) return;
  const std::string_view local = DavName(name);
  const Field field = r.field;
  r.field = Field::kNone;
  if (field == Field::kHref && local == "href") {
    r.entry.path = DavHrefPath(r.text);
    r.sawHref = true;
  } else if (field == Field::kLength && local == "getcontentlength") {
    r.propLength = r.text;
  } else if (field == Field::kStatus && local == "status") {
    r.status = r.text;
  } else if (local == "prop" && r.inProp && r.depth == 4) {
    r.inProp = false;
  } else if (local == "propstat" && r.inPropstat && r.depth == 3) {
    r.inPropstat = false;
    if (StatusIsSuccess(r.status)) {
      r.entry.found = true;
      if (r.propFolder) r.entry.folder = true;
      if (const auto length = ParseLength(r.propLength)) r.entry.length = *length;
    }
  } else if (local == "response" && r.inResponse && r.depth == 2) {
    r.inResponse = false;
    if (r.sawHref) {
      if (r.listing.entries.size() >= kMaxDavEntries) {
        r.failed = true;
      } else {
        r.listing.entries.push_back(std::move(r.entry));
      }
    }
  }
  --r.depth;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string DavHrefPath(std::string_view href) {
  while (!href.empty() && (href.front() == ' ' || href.front() == '\n' || href.front() == '\r' || href.front() == '\t'))
    href.remove_prefix(1);
  while (!href.empty() && (href.back() == ' ' || href.back() == '\n' || href.back() == '\r' || href.back() == '\t'))
    href.remove_suffix(1);
  if (const std::size_t scheme = href.find("://"); scheme != std::string_view::npos && scheme < href.find('/')) {
    const std::size_t slash = href.find('/', scheme + 3);
    href = slash == std::string_view::npos ? std::string_view("/") : href.substr(slash);
  }
  std::string out;
  out.reserve(href.size());
  for (std::size_t i = 0; i < href.size(); ++i) {
    if (href[i] == '%' && i + 2 < href.size()) {
      const int high = HexValue(href[i + 1]);
      const int low = HexValue(href[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += href[i];
  }
  return out;
}

std::string DavLastName(std::string_view path) {
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::optional<DavListing> ParseMultistatus(std::string_view xml) {
  if (xml.size() > kMaxDavAnswerBytes) return std::nullopt;
  XML_Parser parser = XML_ParserCreateNS(nullptr, ' ');
  if (parser == nullptr) return std::nullopt;
  Reader reader;
  XML_SetUserData(parser, &reader);
  XML_SetElementHandler(parser, OnStart, OnEnd);
  XML_SetCharacterDataHandler(parser, OnText);
  const bool parsed = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  if (!parsed || reader.failed || !reader.multistatus) return std::nullopt;
  return std::move(reader.listing);
}

}  // namespace wexmoor
