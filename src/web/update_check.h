// Once per start: the usage report to the maker's site, the version file, the
// question for each newer version that applies, the download and the notice.
#pragma once

#include <stop_token>
#include <thread>

#include "platform/clock.h"
#include "platform/text.h"
#include "archive/zip_library.h"
#include "model/shared_state.h"
#include "i18n/language_translator.h"
#include "http/http_state.h"
#include "web/update_prompts.h"

namespace wexmoor {

struct UpdateCheckTimings {
  int startDelayMs = 2000;
  int busyStepMs = 100;
  int busyChecks = 19;  // all needed: no report and no check this time
};

struct UpdateCheckContext {
  SharedFlags& flags;
  // Its work folder is the working directory ("temp.htm", "Temp.zip",
  // "UpdateProg"); its prompts show the errors of failed requests.
  HttpState& http;
  UpdatePrompts& prompts;
  const Translator& translator;
  ZipLibrary& zip;
  // The maker's site, e.g. "http://127.0.0.1:8080"; empty: nothing is done.
  Text site;
  bool disableUpdates = false;
  int screenWidth = 0;
  int screenHeight = 0;
  UpdateCheckTimings timings;
  // A copy the package manager updates: a newer version is only announced,
  // once, and nothing is downloaded.
  bool installedCopy = false;
};

// "wexmoor", or "l_wexmoor" in a locked copy.
Text ReportName(bool lockedMode);
// The version in lowercase with spaces, "." and "," as "-": "1-83".
Text VersionTag(TextView version);
// "?&hl=H x M x S x &r=WxHx256x256&ref=<page>?hl=fr&q=<name>_<tag>" (no spaces).
Text BuildReportQuery(const LocalTime& now, int screenWidth, int screenHeight, TextView referringPage,
                      TextView reportName, TextView versionTag);

// Waits in steps while an FTP session runs; false when stopped first, or
// after `maxSteps` steps when that is above 0.
bool WaitWhileFtpBusy(const UpdateCheckContext& context, const std::stop_token& stop, int maxSteps = 0);

// The whole check on the calling thread. Every wait watches `stop`; the
// prompts' Yes/No question and OK boxes are waited for.
void RunUpdateCheck(UpdateCheckContext& context, std::stop_token stop);

// The check on a thread of its own.
class UpdateCheck {
 public:
  explicit UpdateCheck(UpdateCheckContext& context) : context_(context) {}
  ~UpdateCheck() { Stop(); }
  UpdateCheck(const UpdateCheck&) = delete;
  UpdateCheck& operator=(const UpdateCheck&) = delete;

  void Start();
  // Asks the thread to end without waiting.
  void RequestStop() { thread_.request_stop(); }
  // Asks the thread to end and waits for it. Web waits end within a few tens
  // of milliseconds; a question on screen must be answered (or dismissed by
  // the window) first.
  void Stop();
  bool Running() const { return thread_.joinable() && !done_.load(); }

 private:
  UpdateCheckContext& context_;
  std::atomic<bool> done_{false};
  std::jthread thread_;
};

}  // namespace wexmoor
