#include "archive/zip_archive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <set>

#include "peers/test_paths.h"
#include "spooler/spooler_test_support.h"

namespace wexmoor {
namespace {

using testing::ReadFile;
using testing::RunCommand;
using testing::RunPython;
using testing::T;
using testing::TempFolder;
using testing::WriteFile;

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (auto& b : bytes) b = static_cast<char>(random() & 0xFF);
  return bytes;
}

std::set<std::string> FolderNames(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

// Runs a test in a time zone far from UTC, so local and UTC times differ.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old, hadOld_ = true;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (hadOld_) ::setenv("TZ", old_.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::string old_;
  bool hadOld_ = false;
};

// Packs `files` (local path, stored name) into `archive`; true when every
// step succeeded.
bool Pack(ZipLibrary& zip, const std::string& archive, const std::vector<std::pair<std::string, std::string>>& files) {
  ZipLibraryUse use(zip);
  if (!use.ok()) return false;
  ArchiveHandle handle = CreateArchive(zip, T(archive), kArchiveCreate);
  if (!handle) return false;
  bool ok = true;
  for (const auto& [file, stored] : files) ok = AddFileToArchive(zip, handle, T(file), T(stored)) == 1 && ok;
  return CloseArchive(zip, handle) == 1 && ok;
}

TEST(ZipArchive, PackedArchiveIsReadByOtherTools) {
  ScopedTimeZone zone("EST5EDT");
  TempFolder dir;
  std::string big = RandomBytes(300000, 7);  // several blocks
  WriteFile(dir.File("a.txt"), "hello hello hello hello\n");
  std::filesystem::create_directories(dir.File("sub"));
  WriteFile(dir.File("sub/b.bin"), big);
  // 2023-11-14 22:13:20 UTC
  ASSERT_TRUE(SetFileModificationTime(T(dir.File("a.txt")), 1700000000));
  // 2022-01-02 03:04:07 UTC: zip times have two-second steps
  ASSERT_TRUE(SetFileModificationTime(T(dir.File("sub/b.bin")), 1641092647));
  ZipLibrary zip;
  std::string archive = dir.File("out.zip");
  ASSERT_TRUE(Pack(zip, archive, {{dir.File("a.txt"), "a.txt"}, {dir.File("sub/b.bin"), "sub/b.bin"}}));
  EXPECT_FALSE(zip.Bound());

  EXPECT_EQ(RunCommand("unzip -tq '" + archive + "' >/dev/null 2>&1"), 0);
  std::string out;
  ASSERT_EQ(RunPython("import zipfile,sys\n"
                      "z=zipfile.ZipFile('" + archive + "')\n"
                      "assert z.testzip() is None\n"
                      "for i in z.infolist(): print(i.filename, i.compress_type, i.date_time, i.file_size)\n",
                      &out),
            0)
      << out;
  EXPECT_EQ(out, "a.txt 8 (2023, 11, 14, 22, 13, 20) 24\nsub/b.bin 8 (2022, 1, 2, 3, 4, 6) 300000\n");

  // And the program reads its own archive back byte for byte.
  TempFolder target;
  EXPECT_EQ(ArchiveEntryCount(T(archive)), 2);
  EXPECT_EQ(ExtractArchive(zip, T(archive), T(target.path())), 1);
  EXPECT_EQ(ReadFile(target.File("b.bin")), big);
  EXPECT_EQ(ReadFile(target.File("a.txt")), "hello hello hello hello\n");
}

TEST(ZipArchive, ExistingArchiveIsExtendedAndBarePathGetsZip) {
  TempFolder dir;
  WriteFile(dir.File("one.txt"), "1");
  WriteFile(dir.File("two.txt"), "2");
  ZipLibrary zip;
  ZipLibraryUse use(zip);
  ASSERT_TRUE(use.ok());
  Text opened;
  ArchiveHandle h = CreateArchive(zip, T(dir.File("bundle")), kArchiveCreate, &opened);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(opened, T(dir.File("bundle.zip")));
  EXPECT_EQ(AddFileToArchive(zip, h, T(dir.File("one.txt")), u"one.txt"), 1);
  EXPECT_EQ(CloseArchive(zip, h), 1);
  EXPECT_FALSE(PathExists(T(dir.File("bundle"))));

  // Asked to create, but the archive has entries: it is extended instead.
  h = CreateArchive(zip, T(dir.File("bundle.zip")), kArchiveCreate);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(AddFileToArchive(zip, h, T(dir.File("two.txt")), u"two.txt"), 1);
  EXPECT_EQ(CloseArchive(zip, h), 1);
  EXPECT_EQ(ArchiveEntryCount(zip, T(dir.File("bundle.zip"))), 2);
  EXPECT_EQ(RunCommand("unzip -tq '" + dir.File("bundle.zip") + "' >/dev/null 2>&1"), 0);
}

TEST(ZipArchive, UnreadableSourceLeavesAnEmptyEntry) {
  TempFolder dir;
  WriteFile(dir.File("ok.txt"), "data");
  ZipLibrary zip;
  ZipLibraryUse use(zip);
  ArchiveHandle h = CreateArchive(zip, T(dir.File("x.zip")), kArchiveCreate);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(AddFileToArchive(zip, h, T(dir.File("missing.txt")), u"missing.txt"), 0);
  EXPECT_EQ(AddFileToArchive(zip, h, T(dir.File("ok.txt")), u"ok.txt"), 1);
  EXPECT_EQ(CloseArchive(zip, h), 1);
  std::string out;
  ASSERT_EQ(RunPython("import zipfile\nz=zipfile.ZipFile('" + dir.File("x.zip") +
                          "')\nprint([(i.filename,i.file_size) for i in z.infolist()])",
                      &out),
            0);
  EXPECT_EQ(out, "[('missing.txt', 0), ('ok.txt', 4)]\n");
}

TEST(ZipLibraryBinding, CountsUsersAndCanBeMadeToFail) {
  ZipLibrary zip;
  EXPECT_EQ(zip.ReleaseZipLibrary(), 0);
  ASSERT_EQ(zip.LoadZipLibrary(), 1);
  ASSERT_EQ(zip.LoadZipLibrary(), 1);  // a second user on another thread
  EXPECT_EQ(zip.ReleaseZipLibrary(), 1);
  EXPECT_TRUE(zip.Bound());  // the first user keeps its functions
  EXPECT_EQ(zip.ReleaseZipLibrary(), 1);
  EXPECT_FALSE(zip.Bound());

  TempFolder dir;
  EXPECT_EQ(CreateArchive(zip, T(dir.File("a.zip")), kArchiveCreate), nullptr);  // nothing bound
  zip.SetFailBinding(true);
  EXPECT_EQ(zip.LoadZipLibrary(), 0);
  EXPECT_EQ(ExtractArchive(zip, T(dir.File("a.zip")), T(dir.path())), 0);
  zip.SetFailBinding(false);
  EXPECT_EQ(zip.LoadZipLibrary(), 1);
  EXPECT_EQ(zip.ReleaseZipLibrary(), 1);
}

// Writes an archive with Python: entries as (name, bytes literal, date_time).
void PythonArchive(const std::string& path, const std::string& entries) {
  std::string out;
  ASSERT_EQ(RunPython("import zipfile\n"
                      "z=zipfile.ZipFile('" + path + "','w',zipfile.ZIP_DEFLATED)\n"
                      "for n,d,t in " + entries + ":\n"
                      "  i=zipfile.ZipInfo(n,t); i.compress_type=zipfile.ZIP_DEFLATED; z.writestr(i,d)\n"
                      "z.close()\n",
                      &out),
            0)
      << out;
}

TEST(ZipArchive, EntriesLandFlatInTheFolder) {
  ScopedTimeZone zone("JST-9");
  TempFolder dir, target;
  std::string archive = dir.File("u.zip");
  std::string longName(150, 'n');
  PythonArchive(archive, "[('docs/readme.txt', b'first', (2021,5,6,7,8,30)),"
                         " ('other/readme.txt', b'second', (2021,5,6,7,8,30)),"
                         " ('zero.txt', b'', (2021,5,6,7,8,30)),"
                         " ('  padded.txt  ', b'pad', (2021,5,6,7,8,30)),"
                         " ('" + longName + "', b'long', (2021,5,6,7,8,30))]");
  ZipLibrary zip;
  EXPECT_EQ(ExtractArchive(zip, T(archive), T(target.path())), 1);
  // Same final name: the later entry wins; an empty entry writes nothing.
  EXPECT_EQ(FolderNames(target.path()),
            (std::set<std::string>{"readme.txt", "padded.txt", std::string(100, 'n')}));
  EXPECT_EQ(ReadFile(target.File("readme.txt")), "second");
  EXPECT_EQ(ReadFile(target.File(std::string(100, 'n'))), "long");

  std::tm local{};
  local.tm_year = 2021 - 1900;
  local.tm_mon = 4;
  local.tm_mday = 6;
  local.tm_hour = 7;
  local.tm_min = 8;
  local.tm_sec = 0;
  local.tm_isdst = -1;
  EXPECT_EQ(FileModificationTime(T(target.File("readme.txt"))), static_cast<std::int64_t>(std::mktime(&local)));

  // One entry by index.
  TempFolder single;
  EXPECT_EQ(ZipLibraryUse(zip).ok(), true);
  ZipLibraryUse use(zip);
  EXPECT_EQ(ExtractEntry(zip, T(archive), 0, T(single.path() + "/")), 1);
  EXPECT_EQ(ExtractEntry(zip, T(archive), 99, T(single.path())), 1);
  EXPECT_EQ(FolderNames(single.path()), std::set<std::string>{"readme.txt"});
  EXPECT_EQ(ReadFile(single.File("readme.txt")), "first");
  EXPECT_EQ(ExtractEntry(zip, T(dir.File("nothing.zip")), 0, T(single.path())), 0);
}

TEST(ZipArchive, HostileArchivesWriteNothingOutsideTheFolder) {
  TempFolder dir;
  std::filesystem::create_directories(dir.File("inside"));
  std::string folder = dir.File("inside");
  ZipLibrary zip;

  WriteFile(dir.File("noise.zip"), RandomBytes(5000, 3));
  EXPECT_EQ(ExtractArchive(zip, T(dir.File("noise.zip")), T(folder)), 1);
  EXPECT_TRUE(FolderNames(folder).empty());

  std::string archive = dir.File("evil.zip");
  PythonArchive(archive, "[('../x', b'up', (2020,1,1,0,0,0)), ('/abs', b'root', (2020,1,1,0,0,0)),"
                         " ('..', b'dots', (2020,1,1,0,0,0)), ('a/..', b'dots', (2020,1,1,0,0,0)),"
                         " ('b/.', b'dot', (2020,1,1,0,0,0)), ('c/', b'slash', (2020,1,1,0,0,0)),"
                         " ('..\\\\y', b'back', (2020,1,1,0,0,0))]");
  auto before = FolderNames(dir.path());
  EXPECT_EQ(ExtractArchive(zip, T(archive), T(folder)), 1);
  EXPECT_EQ(FolderNames(dir.path()), before);
  EXPECT_EQ(FolderNames(folder), (std::set<std::string>{"x", "abs", "y"}));
  EXPECT_EQ(ReadFile(dir.File("inside/x")), "up");

  // A link at the target is replaced, not followed.
  WriteFile(dir.File("precious"), "keep");
  std::filesystem::remove(dir.File("inside/x"));
  std::filesystem::create_symlink(dir.File("precious"), dir.File("inside/x"));
  EXPECT_EQ(ExtractArchive(zip, T(archive), T(folder)), 1);
  EXPECT_EQ(ReadFile(dir.File("precious")), "keep");
  EXPECT_EQ(ReadFile(dir.File("inside/x")), "up");
}

TEST(ZipArchive, DamagedEntryNeverReplacesAFile) {
  TempFolder dir, target;
  std::string archive = dir.File("bad.zip");
  // Stored, so the data bytes can be damaged without breaking the stream.
  std::string out;
  ASSERT_EQ(RunPython("import zipfile\n"
                      "z=zipfile.ZipFile('" + archive + "','w',zipfile.ZIP_STORED)\n"
                      "z.writestr('file.txt', b'GOODGOODGOODGOOD')\nz.close()\n"
                      "b=bytearray(open('" + archive + "','rb').read())\n"
                      "i=b.find(b'GOODGOOD'); b[i]=ord('X')\n"
                      "open('" + archive + "','wb').write(b)\n",
                      &out),
            0)
      << out;
  WriteFile(target.File("file.txt"), "previous");
  ZipLibrary zip;
  EXPECT_EQ(ExtractArchive(zip, T(archive), T(target.path())), 1);
  EXPECT_EQ(ReadFile(target.File("file.txt")), "previous");
  EXPECT_EQ(FolderNames(target.path()), std::set<std::string>{"file.txt"});
}

}  // namespace
}  // namespace wexmoor
