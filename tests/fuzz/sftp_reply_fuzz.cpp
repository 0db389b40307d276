// Packets from a hostile SFTP server: the stream is framed, each body taken
// apart as a reply and as a version packet, and names turned into list
// entries and log texts. Everything must end, bounded, on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/code_page.h"
#include "sftp/sftp_packets.h"
#include "sftp/sftp_session.h"

using namespace wexmoor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The first byte picks where the stream is split, to reach partial frames.
  const std::size_t split = size > 0 ? data[0] % (size + 1) : 0;
  sftp::PacketAssembler assembler;
  assembler.Feed(bytes.substr(0, split));
  std::string body;
  std::vector<SftpListEntry> entries;
  for (int round = 0; round < 2; ++round) {
    int got = 0;
    while ((got = assembler.Next(body)) == 1) {
      sftp::Reply reply;
      if (sftp::ParseReply(body, reply)) {
        for (const auto& name : reply.names) {
          entries.push_back({Utf8ToUtf16(name.name), name.attributes.IsFolder(), 0});
          (void)sftp::ShownText(name.longName);
        }
        (void)sftp::ShownText(reply.message);
      }
      sftp::VersionInfo version;
      if (sftp::ParseVersion(body, version)) (void)version.Offers("posix-rename@openssh.com");
    }
    if (got < 0) break;
    assembler.Feed(bytes.substr(split));
  }
  (void)SftpListingText(entries);
  // The same bytes as a folder path from an address.
  (void)JoinRemotePath("/home/user", bytes);
  return 0;
}
