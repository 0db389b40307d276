// Files and folders. Paths are Texts; they reach the system as UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace wexmoor {

std::string PathToNative(TextView path);
Text NativeToPath(std::string_view native);

bool PathExists(TextView path);
bool IsFolder(TextView path);
bool IsRegularFile(TextView path);
// Size in bytes; -1 when the path does not name a readable file.
std::int64_t FileSize(TextView path);
// Modification time in seconds since the epoch, or nullopt.
std::optional<std::int64_t> FileModificationTime(TextView path);
bool SetFileModificationTime(TextView path, std::int64_t epochSeconds);

// Whole-file reads and writes. WriteFileAtomically writes a temporary file in
// the same folder, flushes it to disk and renames it over `path`, so a crash
// at any moment leaves the old file or the new one, never a partial one. A new
// file gets `newFileMode`; an existing one keeps its mode. Returns false (and
// sets `error` when given) when anything failed; the old file is then intact.
// WritePrivateFileAtomically does the same but always leaves the file readable
// by its owner alone (0600), whatever mode an existing file had: for files
// that hold passwords.
std::optional<std::string> ReadWholeFile(TextView path);
bool WriteWholeFile(TextView path, std::string_view bytes);
bool WriteFileAtomically(TextView path, std::string_view bytes, unsigned newFileMode = 0600,
                         std::string* error = nullptr);
bool WritePrivateFileAtomically(TextView path, std::string_view bytes, std::string* error = nullptr);

bool RemoveFile(TextView path);
bool MakeFolder(TextView path);
// Creates every missing level of the folder path.
bool MakeFolders(TextView path);
// Removes the files directly inside `path`, then the folder itself.
bool RemoveFolderAndFiles(TextView path);
bool RenamePath(TextView from, TextView to);
// Copies, replacing a file at `to`; keeps the source's permission bits.
bool CopyFileReplacing(TextView from, TextView to);

struct FolderEntry {
  Text name;
  bool isFolder = false;
};
// The entries of a folder in the order the file system lists them, without
// "." and ".."; nullopt when the folder cannot be read.
std::optional<std::vector<FolderEntry>> ListFolder(TextView path);

Text CurrentDirectory();
// The program's own file (/proc/self/exe).
Text OwnExecutablePath();

// Final component: the text after the last "/" or "\".
Text FileNamePart(TextView path);

}  // namespace wexmoor
