// Security checks: passwords stay out of every log and stream, the preference
// file is private, unpacking and installing never write outside their folder,
// and the locked settings area is read and written within its bounds.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "locked/locked_copy_generator.h"
#include "locked/locked_settings_block.h"
#include "locked/locked_zones.h"
#include "peers/pyftpd_fixture.h"
#include "peers/test_paths.h"
#include "peers/worker_rig.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "spooler/upload_worker.h"
#include "archive/zip_archive.h"
#include "settings/settings_store.h"
#include "support/wait_for.h"
#include "support/recording_worker_display.h"

namespace wexmoor {
namespace {

namespace fs = std::filesystem;
using testing::PyFtpdServer;
using testing::TempFolder;
using testing::WaitFor;

constexpr char kPassword[] = "S3cr3t-Pa55";
constexpr char16_t kPassword16[] = u"S3cr3t-Pa55";

std::string Slurp(const std::string& path) { return ReadWholeFile(Utf8ToUtf16(path)).value_or("<missing>"); }
void Put(const std::string& path, const std::string& bytes) { ASSERT_TRUE(WriteWholeFile(Utf8ToUtf16(path), bytes)); }

// Every file below `root` (symbolic links not followed), relative to it.
std::vector<std::string> FilesBelow(const std::string& root) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (!e.is_directory() || e.is_symlink()) out.push_back(fs::relative(e.path(), root).string());
  std::sort(out.begin(), out.end());
  return out;
}

int RunShell(const std::string& command) { return std::system(command.c_str()); }
std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// --- Passwords --------------------------------------------------------------

class UploadSecurity : public ::testing::Test {
 protected:
  // The status line is a place a user sees too.
  bool StatusLeaked() const {
    for (const std::string& line : display.StatusLines())
      if (line.find(kPassword) != std::string::npos) return true;
    return false;
  }

  testing::RecordingWorkerDisplay display;
};

TEST_F(UploadSecurity, NeitherAnUploadNorARefusedLoginShowsThePassword) {
  TempFolder remote, local;
  PyFtpdServer ftp(remote.path(), "user", kPassword);
  ASSERT_TRUE(ftp.ok()) << ftp.error();
  testing::WorkerRig rig;
  auto& [queue, servers, removeRing, flags, history, clock, ports, session] = rig;
  WorkerContext context{queue, servers, removeRing, flags, history, session, clock, display};

  ServerRecord good;
  good.name = u"good";
  good.address = u"127.0.0.1/in";
  good.login = u"user";
  good.password = kPassword16;
  good.port = ftp.port();
  good.timeOut = 5000;
  servers.Set(1, good);
  ServerRecord refused = good;
  refused.name = u"refused";
  refused.login = u"intruder";  // the server knows no such user
  servers.Set(2, refused);
  Put(local.File("a.txt"), "payload");
  ASSERT_TRUE(queue.Append(Utf8ToUtf16(local.File("a.txt") + "|good|")));
  ASSERT_TRUE(queue.Append(Utf8ToUtf16(local.File("a.txt") + "|refused|")));

  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  bool wasRefused = false;
  {
    UploadWorker worker(context);
    worker.Start();
    // The history takes an attempt's log once the attempt is over.
    wasRefused = WaitFor([&] { return queue.Size() == 1 && history.Get().find(u"530") != Text::npos; });
    worker.Terminate();
  }
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(wasRefused) << Utf16ToUtf8(history.Get());
  EXPECT_EQ(Slurp(remote.File("in/a.txt")), "payload");

  const Text h = history.Get();
  EXPECT_NE(h.find(u"PASS ****"), Text::npos);
  EXPECT_EQ(h.find(kPassword16), Text::npos) << Utf16ToUtf8(h);
  EXPECT_EQ(session.Log().Get().find(kPassword16), Text::npos);
  EXPECT_EQ(out.find(kPassword), std::string::npos) << out;
  EXPECT_EQ(err.find(kPassword), std::string::npos) << err;
  EXPECT_FALSE(StatusLeaked());
}

// A local file or folder name is not a command: line breaks in it must not
// let a second command reach the server.
TEST_F(UploadSecurity, LineBreaksInANameSendNoExtraCommand) {
  TempFolder remote, local;
  PyFtpdServer ftp(remote.path(), "user", kPassword);
  ASSERT_TRUE(ftp.ok()) << ftp.error();
  fs::create_directories(remote.File("in"));
  Put(remote.File("in/keep.txt"), "precious");
  Put(remote.File("in/keep2.txt"), "precious too");
  testing::WorkerRig rig;
  auto& [queue, servers, removeRing, flags, history, clock, ports, session] = rig;
  WorkerContext context{queue, servers, removeRing, flags, history, session, clock, display};
  ServerRecord good;
  good.name = u"good";
  good.address = u"127.0.0.1/in";
  good.login = u"user";
  good.password = kPassword16;
  good.port = ftp.port();
  good.timeOut = 2000;
  servers.Set(1, good);
  const std::string evilFile = local.File("a\r\nDELE keep.txt");
  Put(evilFile, "payload");
  Put(local.File("b.txt"), "payload");
  ASSERT_TRUE(queue.Append(Utf8ToUtf16(evilFile + "|good|")));
  ASSERT_TRUE(queue.Append(Utf8ToUtf16(local.File("b.txt") + "|good|sub\r\nDELE keep2.txt")));
  {
    UploadWorker worker(context);
    worker.Start();
    // Each entry tried at least once, whatever the outcome.
    WaitFor([&] { return queue.Size() == 0 || display.Turns() >= 3; }, std::chrono::milliseconds(20000));
    worker.Terminate();
  }
  EXPECT_EQ(Slurp(remote.File("in/keep.txt")), "precious") << Utf16ToUtf8(history.Get());
  EXPECT_EQ(Slurp(remote.File("in/keep2.txt")), "precious too") << Utf16ToUtf8(history.Get());
}

TEST(PreferenceFilePrivacy, NewFileIsOwnerOnlyAndHoldsNoPlainPassword) {
  TempFolder folder;
  const Text path = Utf8ToUtf16(folder.File("Wexmoor.prefs"));
  ServerTable servers;
  for (int slot = 1; slot <= 3; ++slot) {
    ServerRecord record;
    record.name = u"S" + IntToText(slot);
    record.login = u"user";
    record.password = kPassword16;
    servers.Set(slot, record);
  }
  GlobalOptions options;
  UploadQueue queue;
  std::mt19937 random(99);
  // Even a process that lets everyone read what it creates.
  const mode_t oldMask = ::umask(0);
  const bool saved = SaveSettings(path, false, servers, options, queue, std::nullopt, random);
  ::umask(oldMask);
  ASSERT_TRUE(saved);
  struct stat st;
  ASSERT_EQ(::stat(folder.File("Wexmoor.prefs").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const std::string bytes = Slurp(folder.File("Wexmoor.prefs"));
  EXPECT_EQ(bytes.find(kPassword), std::string::npos) << bytes;
  EXPECT_EQ(bytes.find("ServerPassword3 = #\xC2\xA7"), bytes.find("ServerPassword3 = "));
  ServerTable back;
  GlobalOptions backOptions;
  UploadQueue backQueue;
  UiMessageRing ring;
  LoadSettings(path, false, back, backOptions, backQueue, ring);
  for (int slot = 1; slot <= 3; ++slot) EXPECT_EQ(back.Get(slot).password, kPassword16);
}

// A queued name with line breaks (a file name may hold any byte but "/" and
// NUL) must come back as it was and must not plant keys in the file.
TEST(PreferenceFilePrivacy, LineBreaksInAQueuedNamePlantNoKeys) {
  TempFolder folder;
  const Text path = Utf8ToUtf16(folder.File("Wexmoor.prefs"));
  ServerTable servers;
  ServerRecord record;
  record.name = u"srv";
  servers.Set(1, record);
  GlobalOptions options;
  UploadQueue queue;
  const Text planted = u"/tmp/a\r\nServerName2 = Planted\nServerAdress2 = 127.0.0.1\rFile7 = /x|srv|";
  ASSERT_TRUE(queue.Append(planted));
  ASSERT_TRUE(queue.Append(u"/tmp/after.txt|srv|"));
  std::mt19937 random(3);
  ASSERT_TRUE(SaveSettings(path, false, servers, options, queue, std::nullopt, random));
  ServerTable back;
  GlobalOptions backOptions;
  UploadQueue backQueue;
  UiMessageRing ring;
  LoadSettings(path, false, back, backOptions, backQueue, ring);
  EXPECT_EQ(back.Count(), 1);
  EXPECT_EQ(back.FindServer(u"Planted"), back.FindServer(u"no such server"));
  // Nothing else queued is lost or moved.
  std::vector<Text> texts = backQueue.Texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), u"/tmp/after.txt|srv|");
  EXPECT_LE(texts.size(), 2u);
}

// --- Unpacking and installing ----------------------------------------------

TEST(FolderConfinement, ExtractionWritesOnlyIntoItsFolder) {
  TempFolder base;
  const std::string out = base.File("out"), victim = base.File("victim.txt");
  fs::create_directories(out);
  fs::create_directories(base.File("abs"));
  Put(victim, "original");
  // A link already in the folder must be replaced, not written through.
  fs::create_symlink(victim, out + "/linked.txt");
  const std::string archive = base.File("evil.zip");
  const std::string script =
      "import zipfile, sys\n"
      "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
      "for name in ['../x', sys.argv[2] + '/abs/x', 'a/../../x', '..\\\\..\\\\y', 'a/../../', '..', 'linked.txt',"
      " 'ok.txt']:\n"
      "    z.writestr(zipfile.ZipInfo(name), 'from ' + name)\n"
      "z.close()\n";
  Put(base.File("make.py"), script);
  ASSERT_EQ(RunShell("/usr/bin/python3 " + Quoted(base.File("make.py")) + " " + Quoted(archive) + " " +
                     Quoted(base.path())),
            0);
  fs::remove(base.File("make.py"));

  ZipLibrary zip;
  EXPECT_EQ(ExtractArchive(zip, Utf8ToUtf16(archive), Utf8ToUtf16(out)), 1);
  EXPECT_EQ(Slurp(out + "/ok.txt"), "from ok.txt");
  EXPECT_EQ(Slurp(victim), "original");
  std::vector<std::string> outside;
  for (const auto& f : FilesBelow(base.path()))
    if (!f.starts_with("out/")) outside.push_back(f);
  EXPECT_EQ(outside, (std::vector<std::string>{"evil.zip", "victim.txt"}));
  EXPECT_FALSE(fs::exists(base.File("abs/x")));
}

TEST(FolderConfinement, UpdaterInstallsOnlyInsideItsFolder) {
  const std::string updater = testing::BinaryDir() + "/bin/wexmoor-updater";
  if (!fs::exists(updater)) GTEST_SKIP() << "the updater is not built";
  TempFolder base;
  const std::string cur = base.File("cur"), elsewhere = base.File("elsewhere");
  fs::create_directories(cur + "/UpdateProg");
  fs::create_directories(cur + "/a");
  fs::create_directories(elsewhere);
  // Links inside the folder that lead out of it: to a folder, and to a file
  // that does not exist yet.
  fs::create_directory_symlink(elsewhere, cur + "/out");
  fs::create_symlink(elsewhere + "/planted", cur + "/planted");
  Put(cur + "/UpdateProg/x", "escaped");
  Put(cur + "/UpdateProg/planted", "escaped");
  Put(cur + "/UpdateProg/fine.txt", "inside");
  const std::string absolute = elsewhere + "/x";
  Put(cur + "/UpdateProg/Paths.txt",
      "../x|" + absolute + "|a/../../x|a\\..\\..\\x|out/x|planted|execute:../x|fine.txt|\r\n");

  const std::string command = "cd " + Quoted(cur) + " && WEXMOOR_UPDATER_WAIT_MS=0 " + Quoted(updater) + " 2>" +
                              Quoted(base.File("errors.txt"));
  ASSERT_EQ(RunShell(command), 0);
  EXPECT_EQ(Slurp(cur + "/fine.txt"), "inside");
  EXPECT_TRUE(FilesBelow(elsewhere).empty()) << FilesBelow(elsewhere).front();
  EXPECT_FALSE(fs::exists(base.File("x")));
  EXPECT_FALSE(fs::exists("/tmp/x") && Slurp("/tmp/x") == "escaped");
  const std::string errors = Slurp(base.File("errors.txt"));
  // Every refused item is reported.
  int reported = 0;
  for (std::size_t at = 0; (at = errors.find("Error while updating", at)) != std::string::npos; ++at) ++reported;
  EXPECT_GE(reported, 6) << errors;
}

// --- The locked settings area ----------------------------------------------

// `size` bytes that end exactly where a page without any access begins, so a
// read or write past the end faults at once.
class GuardedArea {
 public:
  explicit GuardedArea(std::size_t size) : size_(size) {
    page_ = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    pages_ = (size + page_ - 1) / page_ + 1;
    void* p = ::mmap(nullptr, pages_ * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return;
    base_ = static_cast<unsigned char*>(p);
    ::mprotect(base_ + (pages_ - 1) * page_, page_, PROT_NONE);
  }
  ~GuardedArea() {
    if (base_) ::munmap(base_, pages_ * page_);
  }
  GuardedArea(const GuardedArea&) = delete;
  GuardedArea& operator=(const GuardedArea&) = delete;
  bool ok() const { return base_ != nullptr; }
  std::span<unsigned char> bytes() { return {base_ + (pages_ - 1) * page_ - size_, size_}; }

 private:
  std::size_t size_, page_ = 0, pages_ = 0;
  unsigned char* base_ = nullptr;
};

TEST(LockedAreaBounds, ReaderStaysInsideForCutAndGarbageAreas) {
  std::mt19937 random(5150);
  ServerRecord record;
  record.name = u"Locked server";
  record.address = u"127.0.0.1/deep/folder";
  record.login = u"login";
  record.password = kPassword16;
  const std::string block = EncodeLockedSettings(record, random);

  // A genuine block cut at every length, then garbage flagged as locked.
  std::vector<std::string> inputs;
  for (std::size_t cut = 0; cut <= block.size(); ++cut) inputs.push_back(block.substr(0, cut));
  for (int i = 0; i < 300; ++i) {
    std::string garbage(std::uniform_int_distribution<std::size_t>(1, 1400)(random), '\0');
    for (auto& c : garbage) c = static_cast<char>(random());
    garbage[0] = 1;
    // Half of them without any NUL pair, so no text ever ends.
    if (i % 2 == 0)
      for (auto& c : garbage) c = c == 0 ? 'A' : c;
    inputs.push_back(garbage);
  }
  for (const std::string& input : inputs) {
    GuardedArea area(input.size());
    ASSERT_TRUE(area.ok());
    std::copy(input.begin(), input.end(), area.bytes().begin());
    ServerTable servers;
    GlobalOptions options;
    const std::span<unsigned char> bytes = area.bytes();
    ReadLockedSettings(std::span<const volatile unsigned char>(bytes.data(), bytes.size()), servers, options);
    EXPECT_LE(servers.Count(), ServerTable::kMaxServers);
  }

  // The whole block reads back as the server it came from.
  GuardedArea whole(LockedSettingsBytesNeeded(block.size()));
  ASSERT_TRUE(whole.ok());
  Translator translator;
  Text message;
  ASSERT_TRUE(WriteLockedSettings(whole.bytes(), block, translator, message)) << Utf16ToUtf8(message);
  ServerTable servers;
  GlobalOptions options;
  const std::span<unsigned char> bytes = whole.bytes();
  EXPECT_TRUE(ReadLockedSettings(std::span<const volatile unsigned char>(bytes.data(), bytes.size()), servers, options));
  EXPECT_EQ(servers.Get(1).password, kPassword16);
  EXPECT_EQ(servers.Get(1).address, record.address);
}

TEST(LockedAreaBounds, WriterRefusesWhatDoesNotFitAndTouchesNothing) {
  std::mt19937 random(77);
  Translator translator;
  ServerRecord record;
  record.name = Text(400, u'n');
  record.address = Text(300, u'a');
  record.password = kPassword16;
  const std::string big = EncodeLockedSettings(record, random);
  record.name = u"small";
  record.address = u"127.0.0.1";
  const std::string small = EncodeLockedSettings(record, random);
  ASSERT_GT(LockedSettingsBytesNeeded(big.size()), kLockedSettingsAreaBytes);

  for (const std::string* block : {&big, &small}) {
    const std::size_t needed = LockedSettingsBytesNeeded(block->size());
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, needed - 1, kLockedSettingsAreaBytes}) {
      if (size >= needed && needed <= kLockedSettingsAreaBytes) continue;
      GuardedArea area(size);
      ASSERT_TRUE(area.ok());
      std::fill(area.bytes().begin(), area.bytes().end(), 0xA5);
      Text message;
      EXPECT_FALSE(WriteLockedSettings(area.bytes(), *block, translator, message)) << size;
      EXPECT_FALSE(message.empty());
      EXPECT_TRUE(std::all_of(area.bytes().begin(), area.bytes().end(), [](unsigned char c) { return c == 0xA5; }));
    }
  }
  // A block that just fits ends with its closing empty name at the last byte.
  GuardedArea exact(LockedSettingsBytesNeeded(small.size()));
  ASSERT_TRUE(exact.ok());
  std::fill(exact.bytes().begin(), exact.bytes().end(), 0xA5);
  Text message;
  ASSERT_TRUE(WriteLockedSettings(exact.bytes(), small, translator, message));
  EXPECT_EQ(exact.bytes().back(), 0);
  EXPECT_EQ(exact.bytes()[exact.bytes().size() - 2], 0);
}

// Program files whose zones are cut short by the end of the file: no copy,
// and a copy that is made is never longer than the program.
TEST(LockedAreaBounds, GeneratorKeepsToTheZonesOfTheProgramFile) {
  TempFolder folder;
  auto marker = [](const Text& text) {
    std::string bytes;
    for (char16_t unit : text) {
      bytes.push_back(static_cast<char>(unit & 0xFF));
      bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes + std::string(2, '\0');
  };
  const std::string settings = marker(LockedSettingsMarker()), picture = marker(LockedPictureMarker());
  const std::string head(5000, 'h');
  ServerRecord server;
  server.name = u"Locked";
  server.address = u"127.0.0.1";
  server.password = kPassword16;
  Put(folder.File("logo.bin"), std::string(3000, 'p'));
  Translator translator;
  const std::string whole = head + settings + std::string(kLockedSettingsAreaBytes, '\0') + "mid" + picture +
                            std::string(kLockedPictureAreaBytes, '\0') + "tail";
  const std::vector<std::string> cut = {
      head + settings + std::string(kLockedSettingsAreaBytes - 1, '\0'),
      head + settings.substr(0, 12),
  };
  int n = 0;
  for (const std::string& program : cut) {
    SCOPED_TRACE(n);
    const std::string from = folder.File("program" + std::to_string(n)), to = folder.File("copy" + std::to_string(n));
    ++n;
    Put(from, program);
    GenerateResult result =
        GenerateLockedCopy(Utf8ToUtf16(from), Utf8ToUtf16(to), server, Utf8ToUtf16(folder.File("logo.bin")), translator);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.message.empty());
    EXPECT_FALSE(fs::exists(to));
    EXPECT_TRUE(Slurp(from) == program);
  }
  // A picture zone cut short: the copy goes without the picture and says so.
  const std::string shortPicture =
      head + settings + std::string(kLockedSettingsAreaBytes, '\0') + picture + std::string(100, '\0');
  Put(folder.File("short"), shortPicture);
  GenerateResult withoutPicture = GenerateLockedCopy(Utf8ToUtf16(folder.File("short")),
                                                     Utf8ToUtf16(folder.File("short-copy")), server,
                                                     Utf8ToUtf16(folder.File("logo.bin")), translator);
  EXPECT_TRUE(withoutPicture.ok);
  EXPECT_FALSE(withoutPicture.message.empty());
  const std::string shortCopy = Slurp(folder.File("short-copy"));
  ASSERT_EQ(shortCopy.size(), shortPicture.size());
  EXPECT_TRUE(shortCopy.substr(shortCopy.size() - 100 - picture.size()) ==
              shortPicture.substr(shortPicture.size() - 100 - picture.size()));

  Put(folder.File("whole"), whole);
  GenerateResult result = GenerateLockedCopy(Utf8ToUtf16(folder.File("whole")), Utf8ToUtf16(folder.File("copy")),
                                             server, Utf8ToUtf16(folder.File("logo.bin")), translator);
  ASSERT_TRUE(result.ok) << Utf16ToUtf8(result.message);
  const std::string copy = Slurp(folder.File("copy"));
  ASSERT_EQ(copy.size(), whole.size());
  // Outside the two areas not one byte changed.
  const std::size_t settingsAt = head.size() + settings.size();
  const std::size_t pictureAt = settingsAt + kLockedSettingsAreaBytes + 3 + picture.size();
  EXPECT_TRUE(copy.substr(0, settingsAt) == whole.substr(0, settingsAt));
  EXPECT_EQ(copy.substr(settingsAt + kLockedSettingsAreaBytes, 3 + picture.size()),
            whole.substr(settingsAt + kLockedSettingsAreaBytes, 3 + picture.size()));
  EXPECT_EQ(copy.substr(pictureAt + kLockedPictureAreaBytes), "tail");
  EXPECT_EQ(copy.find(kPassword), std::string::npos);
}

}  // namespace
}  // namespace wexmoor
