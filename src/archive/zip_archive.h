// Zip archives: packing files into a new archive before upload, and
// unpacking a downloaded archive into one folder. Entry names are stored and
// read as Windows-1252 bytes; archive and file paths reach the system as the
// file system's own UTF-8. Data moves in blocks of 102,400 bytes; entries are
// deflated at level 9.
#pragma once

#include "platform/text.h"
#include "archive/zip_library.h"

namespace wexmoor {

// The library's handle of an archive open for writing; nullptr = failure.
using ArchiveHandle = void*;

inline constexpr int kArchiveCreate = 0;  // a new archive (replaces a file there)
inline constexpr int kArchiveAddTo = 2;   // add entries to an existing archive

// Opens an archive for writing. An existing archive with entries is always
// extended (mode 2), never overwritten. A path without extension gets ".zip".
// `openedPath`, when given, receives the path actually opened. The library
// must be bound (LoadZipLibrary); nullptr on failure.
ArchiveHandle CreateArchive(ZipLibrary& library, const Text& path, int mode, Text* openedPath = nullptr);

// Adds `file` as the entry `storedName` ("/" between folder levels), stamped
// with the file's modification time in UTC. 1, or 0 when the file could not be
// read (an empty entry of that name stays) or the library reported an error.
int AddFileToArchive(ZipLibrary& library, ArchiveHandle handle, const Text& file, const Text& storedName);

// Writes the central directory and closes the archive. 1, or 0 on error.
int CloseArchive(ZipLibrary& library, ArchiveHandle handle);

// Number of entries; 0 when the archive cannot be opened.
int ArchiveEntryCount(const Text& path);
int ArchiveEntryCount(ZipLibrary& library, const Text& path);

// Writes entry `index` (from 0) directly into `folder` under the final
// component of its name; its folder levels are not recreated. An entry whose
// final component is empty, "." or ".." is skipped; nothing is ever written
// outside `folder`. A file there is replaced only by a complete entry. The
// file's time is the entry's time with seconds 0, as local time. 1 when the
// archive could be opened, 0 otherwise.
int ExtractEntry(ZipLibrary& library, const Text& path, int index, const Text& folder);

// Binds the library and extracts every entry into `folder` in entry order.
// 0 when the library cannot be bound or `path` is empty; 1 otherwise,
// whatever the single entries gave.
int ExtractArchive(ZipLibrary& library, const Text& archivePath, const Text& folder);

}  // namespace wexmoor
