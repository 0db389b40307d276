#include "web/update_check.h"

#include <cstdlib>

#include "platform/files.h"
#include "model/version.h"
#include "http/http_retry.h"
#include "web/update_download.h"
#include "web/version_records.h"

namespace wexmoor {

namespace {

constexpr char16_t kNewVersionFragment[] = u" is available on the Wexmoor web site. Your version is: ";


Text InWorkFolder(const UpdateCheckContext& context, TextView name) {
  Text folder = context.http.options().workFolder;
  if (!folder.empty() && folder.back() != u'/') folder.push_back(u'/');
  return folder + Text(name);
}

// "Wexmoor 1.90  is available … Your version is: 1.83."
Text NewVersionNews(const UpdateCheckContext& context, const VersionRecord& record) {
  const Translator& tr = context.translator;
  return Text(kProductName) + u" " + record.newVersion + u" " + tr.Translate(kNewVersionFragment) +
         Text(kVersionText) + u".";
}

Text UpdateQuestion(const UpdateCheckContext& context, const VersionRecord& record) {
  return NewVersionNews(context, record) + u" \r\n" + context.translator.Translate(u"Do you want to update it?");
}

}  // namespace

Text ReportName(bool lockedMode) {
  Text name = ToLowerAscii(kProductName);
  return lockedMode ? u"l_" + name : name;
}

Text VersionTag(TextView version) {
  Text tag = ToLowerAscii(version);
  for (char16_t& c : tag)
    if (c == u' ' || c == u'.' || c == u',') c = u'-';
  return tag;
}

Text BuildReportQuery(const LocalTime& now, int screenWidth, int screenHeight, TextView referringPage,
                      TextView reportName, TextView versionTag) {
  return u"?&hl=" + IntToText(now.hour) + u"x" + IntToText(now.minute) + u"x" + IntToText(now.second) +
         u"x" + u"&r=" + IntToText(screenWidth) + u"x" + IntToText(screenHeight) + u"x256x256" + u"&ref=" +
         Text(referringPage) + u"?hl=fr&q=" + Text(reportName) + u"_" + Text(versionTag);
}

bool WaitWhileFtpBusy(const UpdateCheckContext& context, const std::stop_token& stop, int maxSteps) {
  for (int steps = 0; context.flags.ftpBusy.load() != 0; ++steps) {
    if (maxSteps > 0 && steps == maxSteps) return false;
    if (!context.http.clock().SleepFor(context.timings.busyStepMs, stop)) return false;
  }
  return !stop.stop_requested();
}

void RunUpdateCheck(UpdateCheckContext& context, std::stop_token stop) {
  if (context.site.empty()) return;
  const Clock& clock = context.http.clock();
  HttpState& http = context.http;
  if (!clock.SleepFor(context.timings.startDelayMs, stop)) return;
  if (!WaitWhileFtpBusy(context, stop, context.timings.busyChecks)) return;

  // The usage report, sent in every case.
  const bool locked = context.flags.lockedMode.load();
  const Text reportName = ReportName(locked);
  const Text productPage = context.site + u"/" + reportName + u".htm";
  {
    BusyHold webHold(context.flags.webBusy);
    const Text query = BuildReportQuery(clock.Local(), context.screenWidth, context.screenHeight, productPage,
                                        reportName, VersionTag(kVersionText));
    http.SetHttpReferrer(productPage);
    HttpGetWithRetry(http, context.site + u"/downloads/log.php" + query, stop);
    RemoveFile(InWorkFolder(context, u"temp.htm"));
  }
  if (stop.stop_requested() || context.disableUpdates || locked) return;

  // The version file.
  http.SetHttpReferrer({});
  if (!WaitWhileFtpBusy(context, stop)) return;
  Text versionFile;
  {
    BusyHold webHold(context.flags.webBusy);
    versionFile = HttpGetWithRetry(http, context.site + u"/downloads/versions.txt", stop);
    RemoveFile(InWorkFolder(context, u"temp.htm"));
  }
  if (stop.stop_requested() || http.options().workFolder.empty()) return;

  for (const VersionRecord& record : FindVersionRecords(versionFile, kProductName, kVersionText)) {
    if (stop.stop_requested()) return;
    if (!RecordApplies(record, kVersionText)) continue;
    if (context.installedCopy) {
      // The package manager brings the new version: say so once, no more.
      context.prompts.ShowMessage(context.translator.Translate(u"Update"), NewVersionNews(context, record));
      return;
    }
    if (!context.prompts.AskYesNo(context.translator.Translate(u"Update"), UpdateQuestion(context, record)))
      continue;
    DownloadUpdate(context, record, stop);
  }
}

void UpdateCheck::Start() {
  if (thread_.joinable()) return;
  done_ = false;
  thread_ = std::jthread([this](std::stop_token stop) {
    RunUpdateCheck(context_, stop);
    done_ = true;
  });
}

void UpdateCheck::Stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
}

}  // namespace wexmoor
