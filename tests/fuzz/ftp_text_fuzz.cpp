// Listings, PASV replies and reply-code matching from a hostile server.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ftp/data_channel.h"
#include "ftp/listing_parser.h"
#include "ftp/reply_reader.h"
#include "platform/code_page.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  Text text = AnsiToUtf16(bytes);
  (void)ParseListing(text);
  (void)ParsePasvAddress(text);
  (void)ParsePasvPort(text);
  for (const char16_t* code : {u"220", u"227", u"150", u"226", u"550", u"20", u""})
    (void)ReplyHasCode(text, code);
  return 0;
}
