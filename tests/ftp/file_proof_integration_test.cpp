// The server's digest and MFMT against real servers: ProFTPD with mod_digest
// (HASH and the X commands), pure-ftpd (MFMT, no hash) and pyftpdlib (neither).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>

#include "ftp/control_connection.h"
#include "ftp/file_proof.h"
#include "ftp/ftp_session.h"
#include "ftp/remote_session.h"
#include "peers/proftpd_fixture.h"
#include "peers/pureftpd_fixture.h"
#include "peers/pyftpd_fixture.h"
#include "peers/vsftpd_fixture.h"
#include "peers/test_paths.h"
#include "platform/code_page.h"

namespace wexmoor::testing {
namespace {

// sha256sum & co. on a file: the reference digests.
std::string DigestOf(const std::string& tool, const std::string& path) {
  const std::string out = path + ".digest";
  if (std::system((tool + " '" + path + "' > '" + out + "'").c_str()) != 0) return {};
  std::string word;
  std::ifstream(out) >> word;
  std::remove(out.c_str());
  return word;
}

std::int64_t MtimeOf(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

class ProofSession {
 public:
  ProofSession(int port, const std::string& user, const std::string& password) {
    session.SetIpEchoUrl({});
    record.name = u"real";
    record.address = u"127.0.0.1";
    record.port = port;
    record.login = Utf8ToUtf16(user);
    record.password = Utf8ToUtf16(password);
    record.timeOut = 20000;  // pure-ftpd checks a password with a memory-hard hash: slow on a busy machine
  }
  ~ProofSession() { Disconnect(session, nullptr); }
  bool Open() { return PrepareUploadSession(session, record, 0, nullptr) == 1; }
  int Connection() const { return session.controlConnection(); }

  SystemClock clock;
  ListenerPortSequence ports;
  std::atomic<std::int64_t> lastProgress{0};
  FtpSession session{clock, ports, lastProgress};
  ServerRecord record;
};

TEST(FileProofRealServers, ProftpdHashesEveryKindAndSetsTheTime) {
  TempFolder root;
  ProftpdServer server(root.path());
  ASSERT_TRUE(server.ok()) << server.error();
  std::ofstream(root.File("a b.txt")) << "proof of delivery\n";
  ProofSession s(server.port(), server.user(), server.password());
  ASSERT_TRUE(s.Open()) << Utf16ToUtf8(s.session.Log().Get());
  FtpProofFeatures f = AskProofFeatures(s.session, s.Connection(), s.record, nullptr);
  EXPECT_EQ(f.Kinds(), (std::vector<FtpHashKind>{FtpHashKind::kCrc32, FtpHashKind::kMd5, FtpHashKind::kSha1,
                                                   FtpHashKind::kSha256}));
  EXPECT_FALSE(f.hashCommand.empty());
  EXPECT_TRUE(f.mfmt);
  const std::string path = root.File("a b.txt");
  const struct {
    FtpHashKind kind;
    std::string expected;
  } kinds[] = {{FtpHashKind::kSha256, DigestOf("sha256sum", path)},
               {FtpHashKind::kSha1, DigestOf("sha1sum", path)},
               {FtpHashKind::kMd5, DigestOf("md5sum", path)}};
  for (const auto& k : kinds) {
    std::string digest;
    Text message;
    EXPECT_EQ(RemoteHash(s.session, s.Connection(), s.record, f, u"a b.txt", k.kind, digest, message, nullptr),
              ProofReply::kDone) << HashName(k.kind) << " " << Utf16ToUtf8(message) << Utf16ToUtf8(s.session.Log().Get());
    EXPECT_EQ(digest, k.expected) << HashName(k.kind);
  }
  // The X command alone gives the same digest.
  FtpProofFeatures xOnly = f;
  xOnly.hashCommand.clear();
  std::string digest;
  Text message;
  EXPECT_EQ(RemoteHash(s.session, s.Connection(), s.record, xOnly, u"a b.txt", FtpHashKind::kSha256, digest, message,
                       nullptr), ProofReply::kDone);
  EXPECT_EQ(digest, kinds[0].expected);
  EXPECT_EQ(RemoteHash(s.session, s.Connection(), s.record, f, u"missing.txt", FtpHashKind::kSha256, digest, message,
                       nullptr), ProofReply::kRefused);
  EXPECT_EQ(SetRemoteTime(s.session, s.Connection(), s.record, f, u"a b.txt", 1'500'000'000, message, nullptr),
            ProofReply::kDone) << Utf16ToUtf8(message);
  EXPECT_EQ(MtimeOf(path), 1'500'000'000);
}

TEST(FileProofRealServers, PureFtpdSetsTheTimeAndOffersNoHash) {
  TempFolder root;
  PureFtpdServer server(root.path());
  ASSERT_TRUE(server.ok()) << server.error();
  std::ofstream(root.File("t.txt")) << "pure\n";
  ASSERT_EQ(::chown(root.File("t.txt").c_str(), 65534, 65534), 0);
  ProofSession s(server.port(), server.user(), server.password());
  ASSERT_TRUE(s.Open()) << Utf16ToUtf8(s.session.Log().Get());
  FtpProofFeatures f = AskProofFeatures(s.session, s.Connection(), s.record, nullptr);
  EXPECT_TRUE(f.Kinds().empty());
  ASSERT_TRUE(f.mfmt);
  Text message;
  EXPECT_EQ(SetRemoteTime(s.session, s.Connection(), s.record, f, u"t.txt", 1'400'000'000, message, nullptr),
            ProofReply::kDone) << Utf16ToUtf8(message);
  EXPECT_EQ(MtimeOf(root.File("t.txt")), 1'400'000'000);
}

// vsftpd offers neither: the size is all a delivery can check there.
TEST(FileProofRealServers, VsftpdOffersNoHashAndNoMfmt) {
  TempFolder root;
  VsftpdServer server(root.path());
  ASSERT_TRUE(server.ok()) << server.error();
  ProofSession s(server.port(), server.user(), server.password());
  ASSERT_TRUE(s.Open()) << Utf16ToUtf8(s.session.Log().Get());
  bool lost = true;
  FtpProofFeatures f = AskProofFeatures(s.session, s.Connection(), s.record, nullptr, &lost);
  EXPECT_FALSE(lost);
  EXPECT_TRUE(f.Kinds().empty());
  EXPECT_FALSE(f.mfmt);
  std::string digest;
  Text message;
  EXPECT_EQ(RemoteHash(s.session, s.Connection(), s.record, f, u"x", FtpHashKind::kSha256, digest, message, nullptr),
            ProofReply::kUnsupported);
}

}  // namespace
}  // namespace wexmoor::testing
