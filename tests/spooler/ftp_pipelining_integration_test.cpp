// Commands sent together (SIZE + RNFR behind the data or after the transfer;
// RNTO with the next file's CWD, PASV and STOR, its bytes without waiting for
// 150) against every real FTP server the tests can start: every
// file arrives byte-identical under its final name, no part is left, and no
// reply is read out of step.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "peers/proftpd_fixture.h"
#include "peers/pureftpd_fixture.h"
#include "peers/pyftpd_fixture.h"
#include "peers/tls_ftp_fixture.h"
#include "peers/test_paths.h"
#include "peers/vsftpd_fixture.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "spooler/ftp_upload_session.h"
#include "spooler/upload_session.h"

namespace wexmoor::testing {
namespace {

// vsftpd with TLS required (a fresh certificate, session reuse required)
// in the plain fixtures' form: its files land below its own root.
class TlsVsftpd {
 public:
  explicit TlsVsftpd(const std::string&) : peer_(TlsPeerOptions{}) {}
  bool ok() const { return peer_.ok(); }
  std::string error() const { return peer_.error(); }
  int port() const { return peer_.port(); }
  std::string user() const { return peer_.user(); }
  std::string password() const { return peer_.password(); }
  std::string root() const { return peer_.root(); }
  void Configure(ServerRecord& record) const {
    record.protocol = kProtocolTlsRequired;
    record.fingerprint = Utf8ToUtf16(peer_.fingerprint());
  }

 private:
  TlsFtpPeer peer_;
};

template <class Server>
std::string RootOf(const Server& server, const TempFolder& remote) {
  if constexpr (requires { server.root(); }) return server.root();
  else return remote.path();
}

std::string Contents(const std::filesystem::path& path) {
  const auto bytes = ReadWholeFile(Utf8ToUtf16(path.string()));
  return bytes ? *bytes : std::string("<missing>");
}

// `files` files of a few KiB through one pipelined session, three at a time
// into each of four folders in turn.
// `overlaps`: the server offers no MFMT or hash, so the next file's PASV
// goes with RNTO, and it reads nothing while a transfer drains, so SIZE and
// RNFR go behind the data (vsftpd).
template <class Server>
void PipelinedUploads(int files, bool overlaps) {
  TempFolder local, remote;
  Server server(remote.path());
  ASSERT_TRUE(server.ok()) << server.error();
  ServerRecord record;
  record.name = u"real";
  record.address = u"127.0.0.1";
  record.port = server.port();
  record.login = Utf8ToUtf16(server.user());
  record.password = Utf8ToUtf16(server.password());
  record.timeOut = 20000;  // pure-ftpd's password check is slow on a busy machine
  ASSERT_EQ(record.pipelining, 1) << "on unless the preference file says 0";
  if constexpr (requires { server.Configure(record); }) server.Configure(record);
  SystemClock clock;
  ListenerPortSequence ports;
  std::atomic<std::int64_t> lastProgress{0};
  FtpUploadSession session(clock, ports, lastProgress, {});
  ASSERT_EQ(session.Open(record, nullptr), SessionOpening::kOpen) << Utf16ToUtf8(session.TakeLog());
  std::string log;
  const auto folderOf = [](int i) { return Utf8ToUtf16("d" + std::to_string(i / 3 % 4) + "/"); };
  const auto pathOf = [&local](int i) { return Utf8ToUtf16(local.File("f" + std::to_string(i) + ".bin")); };
  for (int i = 0; i < files; ++i) {
    std::string bytes(static_cast<std::size_t>(1024 + 97 * i), '\0');
    for (std::size_t b = 0; b < bytes.size(); ++b) bytes[b] = static_cast<char>((b * 31 + static_cast<std::size_t>(i)) % 251);
    ASSERT_TRUE(WriteWholeFile(pathOf(i), bytes));
  }
  for (int i = 0; i < files; ++i) {
    // As the scheduler does: the next entry is known while this one goes.
    if (i + 1 < files) session.ExpectNext(ExpectedEntry{pathOf(i + 1), folderOf(i + 1), false});
    const EntryOutcome outcome = session.Upload(pathOf(i), folderOf(i), nullptr, nullptr);
    log += Utf16ToUtf8(session.TakeLog());
    ASSERT_EQ(outcome, EntryOutcome::kSent) << log;
  }
  session.Close(nullptr);
  int found = 0;
  for (const auto& item : std::filesystem::recursive_directory_iterator(RootOf(server, remote))) {
    if (!item.is_regular_file()) continue;
    const std::string name = item.path().filename().string();
    EXPECT_FALSE(name.ends_with(".part")) << item.path();
    if (!name.starts_with("f") || !name.ends_with(".bin")) continue;
    ++found;
    EXPECT_EQ(Contents(item.path()), Contents(local.File(name))) << name;
    EXPECT_EQ(item.path().parent_path().filename().string(), "d" + std::to_string(std::stoi(name.substr(1)) / 3 % 4));
  }
  EXPECT_EQ(found, files);
  EXPECT_EQ(log.find("!!"), std::string::npos) << log;
  EXPECT_EQ(log.find("out of step"), std::string::npos);
  // SIZE and RNFR went together: RNFR is written before SIZE's answer is read.
  const std::size_t size = log.find("<--->SIZE ");
  ASSERT_NE(size, std::string::npos);
  const std::size_t next = log.find("\r\n", size);
  EXPECT_NE(log.find("<--->RNFR ", next), std::string::npos);
  EXPECT_LT(log.find("<--->RNFR ", next), log.find(">---<213", next)) << log.substr(size, 400);
  const std::size_t rnto = log.find("<--->RNTO ");
  ASSERT_NE(rnto, std::string::npos);
  EXPECT_EQ(log.find("<--->PASV", rnto) < log.find(">---<", rnto), overlaps) << log.substr(rnto, 400);
  // Where the PASV goes ahead, the next small file's STOR goes with it, and
  // its CWD where it changes to a folder entered before.
  const auto wentWithRename = [&log](const std::string& command) {
    for (std::size_t at = log.find("<--->RNTO "); at != std::string::npos; at = log.find("<--->RNTO ", at + 1))
      if (log.find("<--->" + command, at) < log.find(">---<", at)) return true;
    return false;
  };
  EXPECT_EQ(wentWithRename("STOR "), overlaps);
  // SIZE and RNFR go behind the data where the server waits for the
  // transfer's end before it reads them (vsftpd).
  const std::size_t behind = log.find("<--->SIZE ");
  EXPECT_EQ(log.find(">---<226", behind) == log.find(">---<", behind), overlaps) << log.substr(behind, 300);
  EXPECT_EQ(wentWithRename("CWD "), overlaps && files > 12);
  EXPECT_EQ(log.find("asked ahead and not sent"), std::string::npos);
}

TEST(PipelinedUpload, Vsftpd) { PipelinedUploads<VsftpdServer>(20, true); }
TEST(PipelinedUpload, Pyftpdlib) { PipelinedUploads<PyFtpdServer>(20, false); }
TEST(PipelinedUpload, Proftpd) { PipelinedUploads<ProftpdServer>(20, false); }
TEST(PipelinedUpload, PureFtpd) { PipelinedUploads<PureFtpdServer>(20, false); }
TEST(PipelinedUpload, VsftpdWithTls) { PipelinedUploads<TlsVsftpd>(20, true); }

// The longer run, on demand (--gtest_also_run_disabled_tests).
TEST(PipelinedUpload, DISABLED_TwoHundredFilesToEachServer) {
  PipelinedUploads<VsftpdServer>(200, true);
  PipelinedUploads<PyFtpdServer>(200, false);
  PipelinedUploads<ProftpdServer>(200, false);
  PipelinedUploads<PureFtpdServer>(200, false);
  PipelinedUploads<TlsVsftpd>(200, true);
}

}  // namespace
}  // namespace wexmoor::testing
