// The thirteen minizip functions the program uses, as one table of function
// pointers. Only the zip modules include this.
#pragma once

#include <minizip/unzip.h>
#include <minizip/zip.h>

namespace wexmoor {

struct ZipEntryPoints {
  unzFile (*unzOpen)(const char* path) = nullptr;
  int (*unzGetGlobalInfo)(unzFile file, unz_global_info* info) = nullptr;
  int (*unzGoToFirstFile)(unzFile file) = nullptr;
  int (*unzGoToNextFile)(unzFile file) = nullptr;
  int (*unzGetCurrentFileInfo)(unzFile file, unz_file_info* info, char* name, uLong nameSize, void* extra,
                               uLong extraSize, char* comment, uLong commentSize) = nullptr;
  int (*unzReadCurrentFile)(unzFile file, voidp buffer, unsigned size) = nullptr;
  int (*unzOpenCurrentFile)(unzFile file) = nullptr;
  int (*unzClose)(unzFile file) = nullptr;
  zipFile (*zipOpen)(const char* path, int append) = nullptr;
  int (*zipOpenNewFileInZip)(zipFile file, const char* name, const zip_fileinfo* info, const void* extraLocal,
                             uInt extraLocalSize, const void* extraGlobal, uInt extraGlobalSize,
                             const char* comment, int method, int level) = nullptr;
  int (*zipWriteInFileInZip)(zipFile file, const void* buffer, unsigned size) = nullptr;
  int (*zipCloseFileInZip)(zipFile file) = nullptr;
  int (*zipClose)(zipFile file, const char* comment) = nullptr;
};

// The functions of the minizip library this program is linked with.
const ZipEntryPoints& LinkedZipEntryPoints();

}  // namespace wexmoor
