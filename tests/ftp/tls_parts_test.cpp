// The pieces of secure and IPv6 connections that need no server: EPSV and
// EPRT texts, the data-address rule, IPv6 literals in the address field,
// certificate fingerprints and summaries, the trust decision, and the bounds
// of a TLS handshake against a peer that never answers.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "ftp/certificate_check.h"
#include "ftp/control_connection.h"
#include "ftp/data_address.h"
#include "ftp/data_channel.h"
#include "ftp/tls_stream.h"
#include "platform/code_page.h"
#include "platform/socket.h"

namespace wexmoor {
namespace {

TEST(DataAddress, EpsvReplyGivesThePortOnlyWhenWellFormed) {
  EXPECT_EQ(ParseEpsvPort(u"229 Entering Extended Passive Mode (|||6446|)"), 6446);
  EXPECT_EQ(ParseEpsvPort(u"229 ok (!!!21!) done"), 21);
  EXPECT_EQ(ParseEpsvPort(u"229 (|||65535|)"), 65535);
  for (const char16_t* bad : {u"229 (|||0|)", u"229 (|||65536|)", u"229 (||6446|)", u"229 (|||64a6|)",
                              u"229 (1116441)", u"229 |||6446|", u"229 (|||6446!)", u"229 (|||123456|)",
                              u"229 (||||)", u"229 (|||6446|", u"229 (   21 )", u"229 (\x7f\x7f\x7f" u"21\x7f)"}) {
    EXPECT_EQ(ParseEpsvPort(bad), 0) << Utf16ToUtf8(bad);
  }
  EXPECT_EQ(EprtArgument(2, u"::1", 6001), u"|2|::1|6001|");
  EXPECT_EQ(EprtArgument(1, u"127.0.0.1", 6099), u"|1|127.0.0.1|6099|");
}

// Passive data goes to the control connection's peer, whatever the reply
// named; active data comes from it only.
TEST(DataAddress, DataConnectionsOnlyWithTheControlPeer) {
  struct Case {
    const char16_t* named;
    const char16_t* peer;
    const char16_t* dialled;
    bool replaced;
  } cases[] = {
      {u"192.168.1.2", u"127.0.0.1", u"127.0.0.1", true}, {u"10.0.0.5", u"127.0.0.1", u"127.0.0.1", true},
      {u"127.0.0.2", u"127.0.0.1", u"127.0.0.1", true},   {u"127.0.0.1", u"127.0.0.1", u"127.0.0.1", false},
      {u"1.2.3.256", u"127.0.0.1", u"127.0.0.1", true},   {u"...", u"127.0.0.1", u"127.0.0.1", true},
      {u"ftp.example.com", u"::1", u"::1", true},         {u"10.0.0.5", u"", u"", false},
  };
  for (const Case& c : cases) {
    const DataAddressChoice choice = ChooseDataAddress(c.named, c.peer);
    EXPECT_EQ(choice.address, c.dialled) << Utf16ToUtf8(c.named);
    EXPECT_EQ(choice.replaced, c.replaced) << Utf16ToUtf8(c.named);
  }
  // The whole 227 line: only its port is used.
  const Text line = u"227 Entering Passive Mode (192,168,1,2,19,137).";
  EXPECT_EQ(ChooseDataAddress(ParsePasvAddress(line), u"127.0.0.1").address, u"127.0.0.1");
  EXPECT_EQ(ParsePasvPort(line), 5001);
  for (int port : {0, -1, 65536, 1 << 30}) EXPECT_FALSE(UsableDataPort(port)) << port;
  for (int port : {1, 5001, 65535}) EXPECT_TRUE(UsableDataPort(port)) << port;
  EXPECT_TRUE(IsControlPeer(u"127.0.0.1", u"127.0.0.1"));
  EXPECT_FALSE(IsControlPeer(u"127.0.0.2", u"127.0.0.1"));
  EXPECT_FALSE(IsControlPeer(u"", u""));
}

TEST(HostText, Ipv6LiteralsInTheAddressField) {
  const ServerAddressParts bracketed = SplitServerAddress(u"[::1]/folder");
  EXPECT_EQ(bracketed.host, u"[::1]");
  EXPECT_EQ(bracketed.folderPath, u"folder/");
  EXPECT_EQ(SplitServerAddress(u"[2001:db8::5]").folderPath, u"");

  HostText h = ParseHostText("[::1]");
  EXPECT_TRUE(h.valid && h.ipv6Literal);
  EXPECT_EQ(h.host, "::1");
  h = ParseHostText("2001:db8::5");
  EXPECT_TRUE(h.valid && h.ipv6Literal);
  h = ParseHostText("ftp.example.org");
  EXPECT_TRUE(h.valid && !h.ipv6Literal);
  EXPECT_EQ(h.host, "ftp.example.org");
  for (const char* bad : {"", "[::1", "::1]", "[]", "[zz::q]", "[127.0.0.1]", "...", "a b", "host:21", ".x", "ftp.ex.[6[2dir"}) {
    EXPECT_FALSE(ParseHostText(bad).valid) << bad;
  }
}

TEST(HostText, ConnectsToIpv6LoopbackLiteral) {
  const int listener = ListenTcp6(39217);
  if (listener == 0) GTEST_SKIP() << "no IPv6 loopback here";
  const int client = ConnectTcp("[::1]", 39217, 2000, {});
  ASSERT_NE(client, 0);
  int family = 0;
  EXPECT_EQ(PeerAddress(client, &family), "::1");
  EXPECT_EQ(family, 6);
  EXPECT_EQ(LocalAddress(client, &family), "::1");
  CloseSocket(client);
  CloseSocket(listener);
  EXPECT_EQ(ConnectTcp("[::1", 39217, 200, {}), 0);
}

// A self-signed certificate made here, with a UTF-8 organisation name.
struct MadeCertificate {
  MadeCertificate() {
    key = EVP_EC_gen("P-256");
    cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 7);
    ASN1_TIME_set_string(X509_getm_notBefore(cert), "20261201000000Z");
    ASN1_TIME_set_string(X509_getm_notAfter(cert), "20271201120000Z");
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("unit.test"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("M\xc3\xbcller"), -1, -1,
                               0);
    X509_set_issuer_name(cert, name);
    X509_set_pubkey(cert, key);
    X509_sign(cert, key, EVP_sha256());
  }
  ~MadeCertificate() {
    X509_free(cert);
    EVP_PKEY_free(key);
  }
  std::string Der() const {
    unsigned char* bytes = nullptr;
    const int size = i2d_X509(cert, &bytes);
    std::string out(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(size));
    OPENSSL_free(bytes);
    return out;
  }
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
};

TEST(Certificate, SummaryAndFingerprintInTheFormTheUserCompares) {
  MadeCertificate made;
  const auto summary = SummariseCertificateDer(made.Der());
  ASSERT_TRUE(summary.has_value());
  EXPECT_EQ(summary->fingerprint, CertificateFingerprint(made.cert));
  const std::string fp = Utf16ToUtf8(summary->fingerprint);
  ASSERT_EQ(fp.size(), 32u * 3 - 1);
  for (std::size_t i = 0; i < fp.size(); ++i) {
    if (i % 3 == 2) {
      EXPECT_EQ(fp[i], ':');
    } else {
      EXPECT_TRUE((fp[i] >= '0' && fp[i] <= '9') || (fp[i] >= 'A' && fp[i] <= 'F')) << fp;
    }
  }
  EXPECT_NE(summary->subject.find(u"CN = unit.test"), Text::npos) << Utf16ToUtf8(summary->subject);
  EXPECT_NE(summary->subject.find(u"M\u00fcller"), Text::npos) << Utf16ToUtf8(summary->subject);
  EXPECT_EQ(summary->issuer, summary->subject);
  EXPECT_EQ(summary->validFrom, u"2026-12-01 00:00:00 UTC");
  EXPECT_EQ(summary->validUntil, u"2027-12-01 12:00:00 UTC");
  EXPECT_FALSE(SummariseCertificateDer("not a certificate").has_value());
  EXPECT_FALSE(SummariseCertificateDer(made.Der().substr(0, 100)).has_value());
}

TEST(Certificate, TrustNeedsTheStoreOrTheStoredFingerprint) {
  const Text fp = u"0A:1B:2C";
  EXPECT_EQ(DecideCertificateTrust(true, fp, u""), TrustVerdict::kTrusted);
  EXPECT_EQ(DecideCertificateTrust(true, fp, u"FF:FF"), TrustVerdict::kTrusted);
  EXPECT_EQ(DecideCertificateTrust(false, fp, u""), TrustVerdict::kUnknown);
  EXPECT_EQ(DecideCertificateTrust(false, fp, u"0a:1b:2c"), TrustVerdict::kTrusted);
  EXPECT_EQ(DecideCertificateTrust(false, fp, u"SHA256 Fingerprint=0A:1B:2C\n"), TrustVerdict::kTrusted);
  EXPECT_EQ(DecideCertificateTrust(false, fp, u"0A:1B:2D"), TrustVerdict::kChanged);
  EXPECT_EQ(DecideCertificateTrust(false, u"", u"0A:1B:2C"), TrustVerdict::kChanged);
}

TEST(TlsStreamBounds, HandshakeWithASilentPeerEndsByTimeOutOrStop) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair), 0);
  TlsContext context;
  ASSERT_TRUE(context.ok());
  {
    TlsStream stream(context, pair[0], "localhost", false, true);
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(stream.Handshake(150, {}, error));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(error, "time-out");
    EXPECT_GE(took, std::chrono::milliseconds(140));
    EXPECT_LT(took, std::chrono::milliseconds(1500));
    char hello[5] = {};
    EXPECT_EQ(read(pair[1], hello, sizeof hello), 5);
    EXPECT_EQ(hello[0], 0x16);  // a TLS handshake record went out
  }
  {
    TlsStream stream(context, pair[0], "localhost", false, true);
    std::stop_source stop;
    std::jthread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      stop.request_stop();
    });
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(stream.Handshake(20000, stop.get_token(), error));
    EXPECT_EQ(error, "stopped");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  }
  // A peer that answers with garbage fails the handshake at once.
  {
    TlsStream stream(context, pair[0], "localhost", false, true);
    const char junk[] = "220 not TLS at all\r\n";
    ASSERT_GT(write(pair[1], junk, sizeof junk - 1), 0);
    std::string error;
    EXPECT_FALSE(stream.Handshake(5000, {}, error));
    EXPECT_NE(error, "time-out");
  }
  close(pair[0]);
  close(pair[1]);
}

}  // namespace
}  // namespace wexmoor
