#include "spooler/drop_intake.h"

#include <sys/stat.h>

#include <set>
#include <utility>

#include "platform/files.h"
#include "archive/zip_archive.h"

namespace wexmoor {

namespace {

// Paths use "/"; a "\" in a dropped path is taken as a separator too.
constexpr TextView kSeparators = u"/\\";
// How many numbered names packing tries before it gives up on an item.
constexpr int kMaxArchiveNumber = 10000;

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

// The dropped path without separators at its end (the root stays "/").
Text ItemPathOf(const Text& path) {
  Text item = path;
  while (item.size() > 1 && IsSeparator(item.back())) item.pop_back();
  return item;
}

Text ParentOf(const Text& item) {
  auto sep = item.find_last_of(kSeparators);
  return sep == Text::npos ? Text() : item.substr(0, sep + 1);
}

bool IsArchiveName(const Text& path) {
  return EndsWithIgnoreAsciiCase(path, u".zip") || EndsWithIgnoreAsciiCase(path, u".rar") ||
         EndsWithIgnoreAsciiCase(path, u".ace");
}

// Base of the archive path, without ".zip".
Text ArchiveBaseFor(const Text& item) {
  auto sep = item.find_last_of(kSeparators);
  std::size_t start = sep == Text::npos ? 0 : sep + 1;
  auto dot = item.find(u'.', start);
  return dot == Text::npos ? item : item.substr(0, dot);
}

void CollectInto(const std::string& native, const Text& path, std::vector<Text>& collected,
                 std::set<std::pair<dev_t, ino_t>>& walked) {
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) return;
  if (S_ISREG(st.st_mode)) {
    if (st.st_size >= 1) collected.push_back(path);
    return;
  }
  if (!S_ISDIR(st.st_mode)) return;
  if (!walked.insert({st.st_dev, st.st_ino}).second) return;
  Text folder = path;
  if (folder.empty() || folder.back() != u'/') folder.push_back(u'/');
  auto entries = ListFolder(folder);
  if (!entries) return;
  for (const auto& entry : *entries) {
    Text child = folder + entry.name;
    if (entry.isFolder) {
      CollectInto(PathToNative(child), child + u"/", collected, walked);
    } else {
      collected.push_back(child);
    }
  }
}

// One drop's work: the server, the ring position and what was refused.
struct Drop {
  IntakeContext& context;
  Text server;
  int ringPosition = 0;
  bool full = false;
  bool badName = false;
};

Text Translated(const Drop& drop, TextView english) { return drop.context.translator.Translate(english); }

// Appends one entry to the queue and to the add ring; false (nothing
// changed) when either is full.
bool AppendEntry(Drop& drop, const Text& localPath, const Text& subfolder) {
  if (drop.full) return false;
  // "|" separates the fields of an entry; a path holding one could never be
  // delivered.
  if (localPath.find(u'|') != Text::npos) {
    drop.badName = true;
    return false;
  }
  Text entry = localPath + u"|" + drop.server + u"|" + subfolder;
  auto id = drop.context.queue.Append(entry);
  if (!id) {
    drop.full = true;
    return false;
  }
  int slot = drop.context.addRing.Put(entry, drop.ringPosition);
  if (slot < 0) {
    // The list could not show it: take it back so list and queue agree.
    drop.context.queue.RemoveById(*id);
    drop.full = true;
    return false;
  }
  drop.ringPosition = slot + 1;
  return true;
}

void QueueDirectly(Drop& drop, const Text& parent, const std::vector<Text>& files) {
  for (const Text& f : files) {
    Text rel = f.substr(std::min(parent.size(), f.size()));
    auto sep = rel.find_last_of(u'/');
    Text sub = sep == Text::npos ? Text() : rel.substr(0, sep);
    while (!sub.empty() && sub.back() == u'/') sub.pop_back();
    if (!AppendEntry(drop, f, sub) && drop.full) return;
  }
}

// A free path for the archive of `item`: the plain name when nothing stands
// there, or when what stands there is the archive intake wrote for this same
// item (it is then removed and rebuilt); otherwise base-2.zip, base-3.zip ...
// Empty when no name is free.
Text ChooseArchivePath(Drop& drop, const Text& item) {
  Text base = ArchiveBaseFor(item);
  WrittenArchives* written = drop.context.written;
  for (int n = 1; n <= kMaxArchiveNumber; ++n) {
    Text candidate = n == 1 ? base + u".zip" : base + u"-" + IntToText(n) + u".zip";
    struct stat st;
    if (::lstat(PathToNative(candidate).c_str(), &st) != 0) return candidate;
    if (written && written->WrittenFor(candidate, item) && RemoveFile(candidate)) {
      written->Forget(candidate);
      return candidate;
    }
  }
  return Text();
}

void Pack(Drop& drop, const Text& item, const std::vector<Text>& files) {
  IntakeContext& context = drop.context;
  if (drop.full) return;
  if (context.queue.Size() >= UploadQueue::kCapacity) {
    drop.full = true;
    return;
  }
  ZipLibraryUse use(context.zip);
  Text archivePath;
  ArchiveHandle handle = nullptr;
  if (use.ok()) archivePath = ChooseArchivePath(drop, item);
  if (!archivePath.empty()) handle = CreateArchive(context.zip, archivePath, kArchiveCreate);
  if (!handle) {
    context.ui.ShowError(Translated(drop, u"Error"), Translated(drop, u"Error while creating Zip file"));
    return;
  }
  for (const Text& f : files) {
    Text stored = f.substr(std::min(item.size(), f.size()));
    if (!stored.empty() && IsSeparator(stored.front())) stored.erase(0, 1);
    if (stored.empty()) stored = FileNamePart(f);
    stored = ReplaceAll(stored, u"\\", u"/");
    // An unreadable file leaves an empty entry of its name; packing goes on.
    AddFileToArchive(context.zip, handle, f, stored);
  }
  if (CloseArchive(context.zip, handle) != 1) {
    // An archive without its directory is of no use to anyone.
    RemoveFile(archivePath);
    context.ui.ShowError(Translated(drop, u"Error"), Translated(drop, u"Error while creating Zip file"));
    return;
  }
  if (context.written) context.written->Record(archivePath, item);
  AppendEntry(drop, archivePath, Text());
}

void HandleItem(Drop& drop, const Text& path) {
  Text item = ItemPathOf(path);
  if (item.empty()) return;
  Text parent = ParentOf(item);
  std::vector<Text> files;
  CollectFiles(item, files);
  bool zip = drop.context.ui.ZipChecked();
  if (files.empty()) files.push_back(item);
  if (files.size() == 1 && files.front() == item && IsArchiveName(item)) zip = false;
  if (zip) {
    Pack(drop, item, files);
  } else {
    QueueDirectly(drop, parent, files);
  }
}

// The server every item of this drop goes to; empty when there is none.
Text DestinationServer(IntakeContext& context) {
  Text name = context.flags.lockedMode.load() ? context.servers.Get(1).name
             : context.server.empty()           ? context.ui.SelectedServerName()
                                                : context.server;
  if (name.empty()) return Text();
  if (context.servers.Get(context.servers.FindServer(name)).name != name) return Text();
  return name;
}

}  // namespace

Text ArchivePathFor(const Text& itemPath) { return ArchiveBaseFor(ItemPathOf(itemPath)) + u".zip"; }

void CollectFiles(const Text& path, std::vector<Text>& collected) {
  if (path.empty()) return;
  std::set<std::pair<dev_t, ino_t>> walked;
  CollectInto(PathToNative(path), path, collected, walked);
}

void QueueDroppedPaths(IntakeContext& context, const std::vector<Text>& paths) {
  bool any = false;
  for (const Text& p : paths) any = any || !p.empty();
  if (!any) return;
  Drop drop{context, DestinationServer(context)};
  if (drop.server.empty()) {
    context.ui.ShowError(Translated(drop, u"Error"), Translated(drop, u"Please choose your server setting:"));
    return;
  }
  for (const Text& p : paths) HandleItem(drop, p);
  if (drop.full)
    context.ui.ShowError(Translated(drop, u"Error"),
                         Translated(drop, u"The upload list is full: some items were not added."));
  if (drop.badName)
    context.ui.ShowError(Translated(drop, u"Error"),
                         Translated(drop, u"A name holding \"|\" cannot be uploaded: some items were not added."));
}

void QueueDroppedItems(IntakeContext& context, const Text& pathList) {
  std::vector<Text> paths;
  std::size_t start = 0;
  while (start < pathList.size()) {
    auto cr = pathList.find(u'\r', start);
    if (cr == Text::npos) cr = pathList.size();
    paths.push_back(pathList.substr(start, cr - start));
    start = cr + 1;
  }
  QueueDroppedPaths(context, paths);
}

void HandleDrop(IntakeContext& context, DropHandle& drop) {
  std::vector<Text> paths;
  int count = drop.Count();
  for (int i = 0; i < count; ++i) paths.push_back(drop.Name(i));
  drop.Release();
  QueueDroppedPaths(context, paths);
}

}  // namespace wexmoor
