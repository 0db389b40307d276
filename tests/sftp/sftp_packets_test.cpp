#include "sftp/sftp_packets.h"

#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "sftp/sftp_session.h"

namespace wexmoor::sftp {
namespace {

std::string U32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}
std::string Str(std::string_view s) { return U32(static_cast<std::uint32_t>(s.size())) + std::string(s); }
std::string Framed(const std::string& body) { return U32(static_cast<std::uint32_t>(body.size())) + body; }

TEST(SftpPackets, NameReplyWithAttributesOfEveryKind) {
  // Entry 1: size, uid/gid, permissions (folder), times, one extended pair.
  const std::string attrs1 = U32(kAttrSize | kAttrUidGid | kAttrPermissions | kAttrTimes | kAttrExtended) +
                             U32(0) + U32(4096) + U32(1000) + U32(1000) + U32(040755) + U32(1) + U32(2) + U32(1) +
                             Str("x@y") + Str("z");
  const std::string attrs2 = U32(kAttrSize) + U32(1) + U32(5);  // 4 GiB + 5
  const std::string body = std::string(1, static_cast<char>(kName)) + U32(7) + U32(2) + Str("sub") +
                           Str("drwxr-xr-x sub") + attrs1 + Str("Grüße.txt") + Str("") + attrs2;
  Reply reply;
  ASSERT_TRUE(ParseReply(body, reply));
  EXPECT_EQ(reply.id, 7u);
  ASSERT_EQ(reply.names.size(), 2u);
  EXPECT_TRUE(reply.names[0].attributes.IsFolder());
  EXPECT_EQ(reply.names[0].attributes.modified, 2u);
  EXPECT_EQ(reply.names[1].name, "Grüße.txt");
  EXPECT_FALSE(reply.names[1].attributes.IsFolder());
  EXPECT_EQ(reply.names[1].attributes.size, (1ull << 32) + 5);
}

TEST(SftpPackets, StatusWithAndWithoutMessage) {
  Reply reply;
  ASSERT_TRUE(ParseReply(std::string(1, static_cast<char>(kStatus)) + U32(3) + U32(kNoSuchFile) +
                             Str("No such file") + Str("en"),
                         reply));
  EXPECT_EQ(reply.status, kNoSuchFile);
  EXPECT_EQ(reply.message, "No such file");
  ASSERT_TRUE(ParseReply(std::string(1, static_cast<char>(kStatus)) + U32(4) + U32(kOk), reply));
  EXPECT_EQ(reply.status, kOk);
}

TEST(SftpPackets, LiesAndTruncationsAreRefused) {
  Reply reply;
  const std::string name = std::string(1, static_cast<char>(kName)) + U32(1);
  EXPECT_FALSE(ParseReply(name + U32(0x7fffffff), reply));                      // count beyond the bytes
  EXPECT_FALSE(ParseReply(name + U32(1) + U32(1000) + "abc", reply));           // string beyond the end
  EXPECT_FALSE(ParseReply(name + U32(1) + Str("a") + Str("b") + U32(kAttrSize) + "1234", reply));  // short size
  EXPECT_FALSE(ParseReply(std::string(1, static_cast<char>(kHandle)) + U32(1) + Str(""), reply));  // empty handle
  EXPECT_FALSE(ParseReply(std::string(1, static_cast<char>(kInit)) + U32(1), reply));  // not a reply
  EXPECT_FALSE(ParseReply(std::string(1, static_cast<char>(kStatus)) + U32(1) + U32(0) + Str("m"), reply));
  EXPECT_FALSE(ParseReply("", reply));
}

TEST(SftpPackets, VersionListsExtensions) {
  VersionInfo version;
  ASSERT_TRUE(ParseVersion(std::string(1, static_cast<char>(kVersion)) + U32(3) +
                               Str("posix-rename@openssh.com") + Str("1") + Str("statvfs@openssh.com") + Str("2"),
                           version));
  EXPECT_EQ(version.version, 3u);
  EXPECT_TRUE(version.Offers("posix-rename@openssh.com"));
  EXPECT_FALSE(version.Offers("hardlink@openssh.com"));
  EXPECT_FALSE(ParseVersion(std::string(1, static_cast<char>(kVersion)) + U32(3) + Str("odd"), version));
}

TEST(SftpPackets, AssemblerSplitsAStreamFedInPieces) {
  const std::string first = Framed(std::string(1, static_cast<char>(kStatus)) + U32(1) + U32(0));
  const std::string second = Framed(std::string(1, static_cast<char>(kHandle)) + U32(2) + Str("h"));
  const std::string stream = first + second;
  PacketAssembler assembler;
  std::string body;
  std::vector<std::string> bodies;
  for (char c : stream) {  // one byte at a time: every split point
    assembler.Feed(std::string_view(&c, 1));
    while (assembler.Next(body) == 1) bodies.push_back(body);
  }
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[1], second.substr(4));
  EXPECT_EQ(assembler.Buffered(), 0u);

  PacketAssembler hostile;
  hostile.Feed(U32(kMaxPacket + 1));
  EXPECT_EQ(hostile.Next(body), -1);
  PacketAssembler empty;
  empty.Feed(U32(0));
  EXPECT_EQ(empty.Next(body), -1);
}

TEST(SftpPackets, WritePacketFramesOffsetAndData) {
  std::string out;
  AppendWritePacket(out, 9, "H", (1ull << 33) + 1, "data");
  PacketAssembler assembler;
  assembler.Feed(out);
  std::string body;
  ASSERT_EQ(assembler.Next(body), 1);
  EXPECT_EQ(body, std::string(1, static_cast<char>(kWrite)) + U32(9) + Str("H") + U32(2) + U32(1) + Str("data"));
}

TEST(SftpPackets, ShownTextIsBoundedAndPrintable) {
  EXPECT_EQ(ShownText(std::string("a\r\nb\x1b[2J", 8)), "a??b?[2J");
  EXPECT_EQ(ShownText(std::string(10000, 'x')).size(), kMaxShownText);
}

}  // namespace
}  // namespace wexmoor::sftp

namespace wexmoor {
namespace {

TEST(SftpPaths, FolderPathsJoinOntoTheLoginFolderUnlessRooted) {
  EXPECT_EQ(JoinRemotePath("/home/u", "upload/a/"), "/home/u/upload/a");
  EXPECT_EQ(JoinRemotePath("/home/u/", "./a//b"), "/home/u/a/b");
  EXPECT_EQ(JoinRemotePath("/home/u", "/srv/in/"), "/srv/in");
  EXPECT_EQ(JoinRemotePath("/home/u", ""), "/home/u");
  EXPECT_EQ(JoinRemotePath("/", "x"), "/x");
  EXPECT_EQ(JoinRemotePath("/home/u", "/"), "/");
  EXPECT_EQ(JoinRemotePath("/home/u", "../v"), "/home/u/../v");
  EXPECT_EQ(SftpPort(0), 22);
  EXPECT_EQ(SftpPort(21), 22);
  EXPECT_EQ(SftpPort(2222), 2222);
  EXPECT_EQ(SftpListingText({{u"a", false, 1}, {u"b c", true, 0}}), u"a|b c|");
}

TEST(SftpPaths, ARecordLeadsToHostPortAndFolder) {
  ServerRecord record;
  record.address = u"files.example\\in\\new";
  record.port = 21;
  record.login = u"me";
  record.password = u"pw";
  SftpTarget target = SftpTargetFor(record, u"SHA256:x", "/home/me/.ssh", "");
  EXPECT_EQ(target.login.host, u"files.example");
  EXPECT_EQ(target.login.port, 22);
  EXPECT_EQ(target.login.timeOut, 10000);
  EXPECT_EQ(target.folderPath, u"in/new/");
  EXPECT_EQ(JoinRemotePath("/home/me", Utf16ToUtf8(target.folderPath)), "/home/me/in/new");
  record.address = u"files.example//srv/drop";
  record.port = 2222;
  target = SftpTargetFor(record, u"", "", "");
  EXPECT_EQ(target.login.port, 2222);
  EXPECT_EQ(JoinRemotePath("/home/me", Utf16ToUtf8(target.folderPath)), "/srv/drop");
}

}  // namespace
}  // namespace wexmoor
