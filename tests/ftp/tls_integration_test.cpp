// FTP over TLS against real servers started here on loopback: vsftpd with TLS
// forced for login and data and session reuse required (TLS 1.3 and 1.2,
// passive and active, explicit and implicit), pyftpdlib's TLS handler, and
// IPv6 on ::1 (EPSV / EPRT). Uploads must arrive byte for byte; certificates
// are trusted only through the store or the stored fingerprint; nothing of
// the login crosses the wire in clear.
#include <openssl/ssl.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>

#include "ftp/certificate_check.h"
#include "ftp/data_channel.h"
#include "ftp/engine_fixture.h"
#include "ftp/file_upload.h"
#include "ftp/remote_session.h"
#include "peers/tls_ftp_fixture.h"

namespace wexmoor::testing {
namespace {

using ::testing::HasSubstr;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(random());
  return out;
}

struct RecordingAsker : CertificateTrustAsker {
  void AskTrust(const Text& serverName, const CertificateSummary& summary, bool changedNow) override {
    ++asked;
    name = serverName;
    fingerprint = Utf16ToUtf8(summary.fingerprint);
    subject = Utf16ToUtf8(summary.subject);
    changed = changedNow;
  }
  int asked = 0;
  Text name;
  std::string fingerprint, subject;
  bool changed = false;
};

bool NeedsRoot(const TlsPeerOptions& o) { return o.kind == "vsftpd" && geteuid() != 0; }

class TlsPeerTest : public EngineTest {
 protected:
  ServerRecord PeerRecord(const TlsFtpPeer& peer, std::int32_t protocol, const std::string& address) {
    ServerRecord r;
    r.name = u"tls";
    r.address = Utf8ToUtf16(address);
    r.port = peer.port();
    r.login = Utf8ToUtf16(peer.user());
    r.password = Utf8ToUtf16(peer.password());
    r.timeOut = 8000;
    r.protocol = protocol;
    r.fingerprint = Utf8ToUtf16(peer.fingerprint());
    return r;
  }
  std::string Log() const { return Utf16ToUtf8(session.Log().Get()); }
  // One entry as the worker does it: session, upload, close. The log of the
  // whole exchange is kept in `log`.
  // With several paths, one kept session for all of them: the number sent.
  int Upload(const ServerRecord& record, const std::vector<std::string>& localPaths, std::string& log) {
    int sent = 0;
    if (PrepareUploadSession(session, record, 0, &status) == 1) {
      for (const std::string& path : localPaths)
        sent += UploadFile(session, session.controlConnection(), const_cast<ServerRecord&>(record),
                           Utf8ToUtf16(path), nullptr, &status) == 1;
    }
    log = Log();
    Disconnect(session, &status);
    return sent;
  }
  int Upload(const ServerRecord& record, const std::string& localPath, std::string& log) {
    return Upload(record, std::vector<std::string>{localPath}, log);
  }
  TempFolder local;
};

struct Mode {
  const char* name;
  TlsPeerOptions peer;
  bool active;
  int maxVersion;  // 0: TLS 1.3
};

void PrintTo(const Mode& mode, std::ostream* out) { *out << mode.name; }

class TlsUploadTest : public TlsPeerTest, public ::testing::WithParamInterface<Mode> {};

TEST_P(TlsUploadTest, FilesArriveByteForByteAndTheFolderLists) {
  const Mode& mode = GetParam();
  if (NeedsRoot(mode.peer)) GTEST_SKIP() << "vsftpd needs root for its temporary user";
  TlsFtpPeer peer(mode.peer);
  ASSERT_TRUE(peer.ok()) << peer.error();
  session.SetTlsTestOptions({}, mode.maxVersion);
  const bool six = mode.peer.address == "::1";
  ServerRecord record = PeerRecord(peer, mode.peer.implicit ? kProtocolImplicitTls : kProtocolTlsRequired,
                                   (six ? "[::1]" : mode.peer.address) + "/up/deep");
  record.active = mode.active ? 1 : 0;
  // Two entries on two sessions; the second file is larger than a TLS record
  // and the socket buffers together.
  const std::string first = RandomBytes(70'000, 1), second = RandomBytes(3'000'000, 2);
  std::ofstream(local.File("one.bin"), std::ios::binary) << first;
  std::ofstream(local.File("two.bin"), std::ios::binary) << second;
  std::string log;
  EXPECT_EQ(Upload(record, local.File("one.bin"), log), 1) << log;
  EXPECT_THAT(log, HasSubstr(mode.maxVersion == TLS1_2_VERSION ? "----- TLSv1.2" : "----- TLSv1.3"));
  EXPECT_THAT(log, HasSubstr(six ? (mode.active ? "<--->EPRT |2|::1|" : "<--->EPSV") : (mode.active ? "<--->PORT" : "<--->PASV")));
  EXPECT_EQ(Upload(record, local.File("two.bin"), log), 1) << log;
  // Three on one kept session: every data connection resumes a session the
  // server still takes (under TLS 1.3 one it hands out once).
  const std::string one = local.File("one.bin");
  EXPECT_EQ(Upload(record, {one, one, local.File("two.bin")}, log), 3) << log;
  EXPECT_EQ(ReadFile(peer.root() + "/up/deep/one.bin"), first);
  EXPECT_EQ(ReadFile(peer.root() + "/up/deep/two.bin"), second);
  // The remote browser over TLS.
  const Text listing = BrowseServer(session, record, &status);
  EXPECT_THAT(Utf16ToUtf8(listing), HasSubstr("one.bin")) << Log();
  EXPECT_THAT(Utf16ToUtf8(listing), HasSubstr("two.bin"));
}

INSTANTIATE_TEST_SUITE_P(
    Peers, TlsUploadTest,
    ::testing::Values(Mode{"vsftpd_tls13_passive", {"vsftpd"}, false, 0},
                      Mode{"vsftpd_tls13_active", {"vsftpd"}, true, 0},
                      Mode{"vsftpd_tls12_passive", {"vsftpd"}, false, TLS1_2_VERSION},
                      Mode{"vsftpd_tls12_active", {"vsftpd"}, true, TLS1_2_VERSION},
                      Mode{"vsftpd_implicit", {"vsftpd", "127.0.0.1", true}, false, 0},
                      Mode{"vsftpd_ipv6_passive", {"vsftpd", "::1"}, false, 0},
                      Mode{"pyftpdlib_passive", {"pyftpdlib"}, false, 0},
                      Mode{"pyftpdlib_active", {"pyftpdlib"}, true, 0},
                      Mode{"pyftpdlib_ipv6_passive", {"pyftpdlib", "::1"}, false, 0},
                      Mode{"pyftpdlib_ipv6_active", {"pyftpdlib", "::1"}, true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TlsPeerTest, UnknownOrChangedCertificateStopsBeforeTheLoginAndAsksOnce) {
  TlsFtpPeer peer({"pyftpdlib"});
  ASSERT_TRUE(peer.ok()) << peer.error();
  RecordingAsker asker;
  session.trustAsker = &asker;
  ServerRecord record = PeerRecord(peer, kProtocolTlsIfOffered, "127.0.0.1");
  record.fingerprint.clear();
  EXPECT_EQ(PrepareUploadSession(session, record, 0, &status), 0);
  EXPECT_THAT(Log(), HasSubstr("!!--- Certificate not trusted yet, SHA-256 fingerprint " + peer.fingerprint()));
  EXPECT_THAT(Log(), ::testing::Not(HasSubstr("USER")));
  EXPECT_EQ(asker.asked, 1);
  EXPECT_EQ(asker.fingerprint, peer.fingerprint());
  EXPECT_THAT(asker.subject, HasSubstr("CN = localhost"));
  EXPECT_FALSE(asker.changed);
  Disconnect(session, nullptr);

  // A stored fingerprint that no longer matches: refused, and the asker
  // hears that it changed; refusing AUTH is no way around it either.
  record.fingerprint = u"00:11:22";
  EXPECT_EQ(PrepareUploadSession(session, record, 0, &status), 0);
  EXPECT_THAT(Log(), HasSubstr("!!--- Certificate changed, SHA-256 fingerprint " + peer.fingerprint()));
  EXPECT_TRUE(asker.changed);
  EXPECT_THAT(peer.ServerLog(), ::testing::Not(HasSubstr("USER " + peer.user())));
  Disconnect(session, nullptr);

  // The store: the certificate names localhost and 127.0.0.1; trusting its
  // issuer (itself) is enough, without a fingerprint.
  session.SetTlsTestOptions(peer.certificateFile(), 0);
  record.fingerprint.clear();
  EXPECT_EQ(PrepareUploadSession(session, record, 0, &status), 1) << Log();
  EXPECT_THAT(Log(), HasSubstr(", certificate verified for 127.0.0.1"));
  Disconnect(session, nullptr);
  // ... but not for a name it does not carry.
  record.address = u"127.0.0.2";
  EXPECT_EQ(PrepareUploadSession(session, record, 0, &status), 0);
}

// "TLS when offered" on which TLS worked is reported once, and the session's
// record then requires it: a later refusal of AUTH ends before the login.
TEST_F(TlsPeerTest, TlsThatWorkedIsNeverDowngraded) {
  TlsFtpPeer peer({"pyftpdlib"});
  ASSERT_TRUE(peer.ok()) << peer.error();
  std::vector<Text> confirmed;
  session.onTlsConfirmed = [&](const Text& name) { confirmed.push_back(name); };
  ServerRecord record = PeerRecord(peer, kProtocolTlsIfOffered, "127.0.0.1");
  EXPECT_EQ(PrepareUploadSession(session, record, 0, &status), 1) << Log();
  Disconnect(session, nullptr);
  ASSERT_EQ(confirmed, std::vector<Text>{u"tls"});
  record.protocol = kProtocolTlsRequired;  // as the server table now holds it

  FakeFtpServer attacker;
  attacker.Greet().Reply("AUTH TLS", "502 Command not implemented").Login();
  attacker.Start();
  record.port = attacker.port();
  EXPECT_EQ(PrepareUploadSession(session, record, 0, &status), 0);
  EXPECT_TRUE(attacker.WaitClientGone(3000));
  EXPECT_EQ(attacker.Commands(), std::vector<std::string>{"AUTH TLS"});  // no USER, no PASS
  EXPECT_EQ(confirmed.size(), 1u);
}

TEST_F(TlsPeerTest, NoLoginInClearWithRequiredOrImplicitTls) {
  TlsPeerOptions plainOptions{"pyftpdlib"};
  plainOptions.relay = true;
  plainOptions.plain = true;
  TlsFtpPeer plain(plainOptions);
  ASSERT_TRUE(plain.ok()) << plain.error();
  // The capture sees a plain login: it would see one in TLS too.
  ServerRecord record = PeerRecord(plain, kProtocolPlain, "127.0.0.1");
  EXPECT_EQ(PrepareUploadSession(session, record, 0, &status), 1) << Log();
  Disconnect(session, nullptr);
  EXPECT_THAT(plain.ClientBytes(), HasSubstr("PASS " + plain.password()));

  for (const bool implicit : {false, true}) {
    TlsPeerOptions options{geteuid() == 0 ? "vsftpd" : "pyftpdlib"};
    options.relay = true;
    options.implicit = implicit && options.kind == "vsftpd";
    TlsFtpPeer peer(options);
    ASSERT_TRUE(peer.ok()) << peer.error();
    record = PeerRecord(peer, options.implicit ? kProtocolImplicitTls : kProtocolTlsRequired, "127.0.0.1");
    EXPECT_EQ(PrepareUploadSession(session, record, 0, &status), 1) << Log();
    Disconnect(session, nullptr);
    const std::string wire = peer.ClientBytes();
    EXPECT_FALSE(wire.empty());
    EXPECT_EQ(wire.find("USER"), std::string::npos) << implicit;
    EXPECT_EQ(wire.find("PASS"), std::string::npos) << implicit;
    EXPECT_EQ(wire.find(peer.password()), std::string::npos) << implicit;
    EXPECT_EQ(wire.rfind(options.implicit ? "\x16\x03" : "AUTH TLS\r\n\x16\x03", 0), 0u) << implicit;
  }
}

}  // namespace
}  // namespace wexmoor::testing
