#include "web/update_download.h"

#include <optional>

#include "platform/code_page.h"
#include "platform/files.h"
#include "archive/zip_archive.h"
#include "http/http_retry.h"
#include "web/install_list.h"

namespace wexmoor {

namespace {

Text Join(const Text& folder, TextView name) {
  Text path = folder;
  if (!path.empty() && path.back() != u'/') path.push_back(u'/');
  return path + Text(name);
}

int CountFiles(const Text& folder) {
  int files = 0;
  if (auto entries = ListFolder(folder))
    for (const auto& e : *entries)
      if (!e.isFolder) ++files;
  return files;
}

}  // namespace

void ConvertArchiveNames(const Text& folder) {
  auto entries = ListFolder(folder);
  if (!entries) return;
  for (const auto& e : *entries) {
    if (e.isFolder) continue;
    const std::string ansi = Utf16ToAnsi(e.name);
    if (AnsiToUtf16(ansi) != e.name) continue;  // not a Windows-1252 name
    const Text converted = AnsiToUtf16(Cp437ToAnsi(ansi));
    if (converted != e.name) RenamePath(Join(folder, e.name), Join(folder, converted));
  }
}

bool DownloadUpdate(UpdateCheckContext& context, const VersionRecord& record, std::stop_token stop) {
  const Translator& tr = context.translator;
  HttpState& http = context.http;
  const Text dir = http.options().workFolder;
  if (dir.empty()) return false;
  const Text updateDir = Join(dir, kUpdateFolderName);
  const Text archive = Join(dir, u"Temp.zip");
  const Text body = Join(dir, u"temp.htm");

  context.prompts.ShowMessage(tr.Translate(u"Update"),
                              tr.Translate(u"Download will start. You will be notified when it will be finished."));
  RemoveFile(archive);
  http.SetShowHttpErrors(true);
  if (!WaitWhileFtpBusy(context, stop)) return false;

  bool done = false;
  bool corrupted = false;
  std::optional<BusyHold> webHold(std::in_place, context.flags.webBusy);
  HttpGetWithRetry(http, record.archiveAddress, stop);
  if (!stop.stop_requested() && FileSize(body) > 1 && RenamePath(body, archive)) {
    // A folder left by an earlier attempt is emptied, so that only this
    // archive's files are installed.
    if (IsFolder(updateDir)) RemoveFolderAndFiles(updateDir);
    MakeFolder(updateDir);
    if (ExtractArchive(context.zip, archive, updateDir) == 1) {
      if (CountFiles(updateDir) == 0) {
        corrupted = true;
        RemoveFolderAndFiles(updateDir);
      } else {
        ConvertArchiveNames(updateDir);
        const Text list = InstallListText(SafeInstallItems(record.installItems, dir));
        done = WriteFileAtomically(Join(updateDir, kInstallListFileName), Utf16ToUtf8(list) + "\r\n", 0644);
        if (!done) RemoveFolderAndFiles(updateDir);
      }
    } else {
      RemoveFolderAndFiles(updateDir);
    }
    RemoveFile(archive);
  }
  webHold.reset();

  if (corrupted)
    context.prompts.ShowMessage(tr.Translate(u"Update"), tr.Translate(u"Downloaded archive is corrupted. Try again."));
  if (done) context.prompts.ShowUpdateNotice();
  return done;
}

}  // namespace wexmoor
