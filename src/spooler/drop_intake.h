// Drop intake: turns dropped files and folders (or command-line paths) into
// upload queue entries, each carrying the server selected at the moment of the
// drop. A folder is expanded into one entry per file, its folder structure
// repeated as remote subfolders, or packed with all its files into one zip
// archive beside it; a file is queued as it is or packed into its own archive.
// Runs on the window's thread.
#pragma once

#include <vector>

#include "platform/text.h"
#include "model/upload_queue.h"
#include "spooler/written_archives.h"
#include "archive/zip_library.h"
#include "model/server_table.h"
#include "model/shared_state.h"
#include "model/ui_message_ring.h"
#include "i18n/language_translator.h"

namespace wexmoor {

// The window's list of dropped paths.
class DropHandle {
 public:
  virtual ~DropHandle() = default;
  virtual int Count() const = 0;
  virtual Text Name(int index) const = 0;
  virtual void Release() = 0;
};

// Implemented by the main window.
class IntakeUi {
 public:
  virtual ~IntakeUi() = default;
  virtual Text SelectedServerName() const = 0;  // the text the server list shows
  virtual bool ZipChecked() const = 0;          // "Always zip before upload"
  virtual void ShowError(const Text& title, const Text& message) = 0;  // modal message box, OK
};

struct IntakeContext {
  UploadQueue& queue;
  UiMessageRing& addRing;
  ServerTable& servers;
  SharedFlags& flags;
  ZipLibrary& zip;
  const Translator& translator;
  IntakeUi& ui;
  // The archives intake wrote in this run. Keep one for the program's life;
  // without it an existing archive is never rebuilt in place and every packing
  // takes a free name.
  WrittenArchives* written = nullptr;
  // The server a hand-over named (--to); empty: the one the ui has selected.
  Text server;
};

// Reads every dropped name (whole, whatever its length), releases the handle
// and queues the names.
void HandleDrop(IntakeContext& context, DropHandle& drop);

// `pathList`: paths, each followed by "\r", taken in order.
void QueueDroppedItems(IntakeContext& context, const Text& pathList);
// The same for paths already apart (names may then hold any character).
void QueueDroppedPaths(IntakeContext& context, const std::vector<Text>& paths);

// Appends to `collected` the files an item stands for: the item itself when
// it is a file of at least one byte; for a folder every file below it (any
// size) in the order the file system lists them, depth first. Folders reached
// twice (through links) are walked once. Missing paths and empty files add
// nothing.
void CollectFiles(const Text& path, std::vector<Text>& collected);

// Where packing `itemPath` puts its archive before any clash is resolved:
// the item's final component cut before its first ".", then ".zip", beside
// the item.
Text ArchivePathFor(const Text& itemPath);

}  // namespace wexmoor
