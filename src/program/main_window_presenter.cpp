#include "program/main_window_presenter.h"

#include <algorithm>

#include "model/upload_limits.h"

namespace wexmoor {

Text MakerHomePage(TextView siteBase, TextView language) {
  if (siteBase.empty()) return {};
  Text base(siteBase);
  while (!base.empty() && base.back() == u'/') base.pop_back();
  return base + (language == u"Français" ? u"/fr/" : u"/");
}

namespace {

bool Has(TextView text, TextView part) { return text.find(part) != TextView::npos; }

// What follows `marker` up to the end of its line, trimmed; "" without it.
Text After(TextView text, TextView marker) {
  const std::size_t at = text.find(marker);
  if (at == TextView::npos) return {};
  TextView rest = text.substr(at + marker.size());
  rest = rest.substr(0, std::min(rest.find(u'\n'), rest.find(u'\r')));
  return TrimSpaces(rest);
}

// A reply line with `code` as the engine logs it (">---<421 ...").
bool HasReply(TextView text, TextView code) {
  const Text marked = u">---<" + Text(code);
  return Has(text, marked + u" ") || Has(text, marked + u"-");
}

// A log line without its "hh:mm:ss: " time and its "-----", "<--->",
// ">---<", "!!---" or "!!" mark.
Text WithoutMarks(TextView line) {
  Text text = TrimSpaces(line);
  if (text.size() >= 10 && text[2] == u':' && text[5] == u':' && text[8] == u':' && text[9] == u' ')
    text = text.substr(10);
  for (TextView mark : {u"!!---", u"-----", u"<--->", u">---<", u"!!"}) {
    if (text.starts_with(mark)) {
      text = text.substr(mark.size());
      break;
    }
  }
  while (text.ends_with(u"!!")) text.resize(text.size() - 2);
  return TrimSpaces(text);
}

}  // namespace

Failure ClassifyFailure(TextView error) {
  Failure f;
  if (TrimSpaces(error).empty()) return f;
  if (Has(error, u"Certificate changed")) {
    f.reason = FailureReason::kCertificateChanged;
  } else if (Has(error, u"Certificate not trusted")) {
    f.reason = FailureReason::kCertificateNotTrusted;
  } else if (Has(error, u"host key has changed")) {
    f.reason = FailureReason::kHostKeyChanged;
  } else if (Has(error, u"Unknown host key") || Has(error, u"No host key")) {
    f.reason = FailureReason::kHostKeyUnknown;
  } else if (HasReply(error, u"421")) {
    f.reason = FailureReason::kServerFull;
  } else if (HasReply(error, u"530") || Has(error, u"Login refused") || Has(error, u"login, or password problem")) {
    f.reason = FailureReason::kLoginRefused;
  } else if (Has(error, u"Unable to connect to specified server") || Has(error, u"adress problem")) {
    f.reason = FailureReason::kConnectionRefused;
  } else if (Has(error, u"Upload refused:") || Has(error, u"Transfer not confirmed:")) {
    f.reason = FailureReason::kFileRefused;
    f.detail = Has(error, u"Upload refused:") ? After(error, u"Upload refused:") : After(error, u"Transfer not confirmed:");
  } else if (Has(error, u"Unable to open \"") || Has(error, u"Unable to read \"")) {
    f.reason = FailureReason::kLocalFile;
    f.detail = Has(error, u"Unable to open") ? After(error, u"Unable to open") : After(error, u"Unable to read");
    if (f.detail.size() >= 2 && f.detail.front() == u'"' && f.detail.back() == u'"')
      f.detail = f.detail.substr(1, f.detail.size() - 2);
  } else if (Has(error, u"TimeOut")) {
    f.reason = FailureReason::kNoAnswer;
  } else if (Has(error, u"Impossible to initialise connection")) {
    f.reason = FailureReason::kConnectionFailed;
  } else {
    f.reason = FailureReason::kOther;
    const std::size_t lf = error.find(u'\n');
    f.detail = WithoutMarks(error.substr(0, lf));
  }
  return f;
}

bool WaitsForTrust(FailureReason reason) {
  return reason == FailureReason::kCertificateNotTrusted || reason == FailureReason::kCertificateChanged ||
         reason == FailureReason::kHostKeyUnknown || reason == FailureReason::kHostKeyChanged;
}

Text FailureText(TextView error, const Translator& translator) {
  const Failure f = ClassifyFailure(error);
  const auto t = [&](TextView english) { return translator.Translate(english); };
  switch (f.reason) {
    case FailureReason::kNone: return {};
    case FailureReason::kConnectionRefused: return t(u"Connection refused");
    case FailureReason::kLoginRefused: return t(u"Login refused");
    case FailureReason::kCertificateNotTrusted: return t(u"Certificate not trusted");
    case FailureReason::kCertificateChanged: return t(u"Certificate changed");
    case FailureReason::kHostKeyUnknown: return t(u"Host key unknown");
    case FailureReason::kHostKeyChanged: return t(u"Host key changed");
    case FailureReason::kServerFull: return t(u"Server full");
    case FailureReason::kFileRefused: return t(u"File refused:") + u" " + f.detail;
    case FailureReason::kLocalFile: return t(u"Cannot open the local file:") + u" " + f.detail;
    case FailureReason::kNoAnswer: return t(u"No answer from the server");
    case FailureReason::kConnectionFailed: return t(u"Connection failed");
    case FailureReason::kOther: break;
  }
  return f.detail.empty() ? t(u"Upload failed") : t(u"Upload failed") + u": " + f.detail;
}

bool TakeLimitedMark(Text& line) {
  if (!TextView(line).ends_with(kLimitedMark)) return false;
  line.resize(line.size() - kLimitedMark.size());
  return true;
}

Text ShownStatusLine(TextView line, const Translator& translator) {
  const Text plain = WithoutMarks(line);
  const Text trimmed = TrimSpaces(line);
  const bool error = trimmed.find(u"!!") != Text::npos &&
                     (trimmed.starts_with(u"!!") || (trimmed.size() > 10 && TextView(trimmed).substr(10).starts_with(u"!!")));
  if (error) return FailureText(line, translator);
  // The worker's word for uploads stopped by a pause.
  return plain == u"Paused" ? translator.Translate(plain) : plain;
}

std::vector<int> MainWindowView::SelectedQueueItems() const {
  const int selected = SelectedQueueItem();
  return selected >= 0 ? std::vector<int>{selected} : std::vector<int>{};
}

void MainWindowView::RemoveQueueItems(const std::vector<int>& rows) {
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) RemoveQueueItem(*row);
}

void MainWindowView::MoveQueueItems(const std::vector<int>& rows, bool toTop) {
  std::vector<Text> chosen, others;
  std::size_t next = 0;
  for (int i = 0; i < QueueCount(); ++i) {
    const bool moved = next < rows.size() && rows[next] == i;
    if (moved) ++next;
    (moved ? chosen : others).push_back(QueueItem(i));
  }
  while (QueueCount() > 0) RemoveQueueItem(QueueCount() - 1);
  for (const Text& text : toTop ? chosen : others) AppendQueueItem(text);
  for (const Text& text : toTop ? others : chosen) AppendQueueItem(text);
}

MainWindowPresenter::MainWindowPresenter(MainWindowPresenterContext& context, MainWindowView& view)
    : context_(context), view_(view) {}

bool MainWindowPresenter::RunPass() {
  SweepRings();
  Tick();
  if (context_.closeSignalled && context_.closeSignalled()) OnCloseRequest();
  view_.SetRemoveEnabled(view_.SelectedQueueItem() >= 0);
  return !context_.flags.quitRequested.load();
}

void MainWindowPresenter::SweepRings() {
  int batchStart = readPosition_;
  while (readPosition_ < batchStart + kSlotsPerPass) {
    const int slot = readPosition_;
    if (context_.removeRing.IsFilled(slot) && context_.removeRing.Peek(slot, scratch_)) {
      const Text display = EntryDisplayText(scratch_);
      const int count = view_.QueueCount();
      for (int i = 0; i < count; ++i) {
        if (view_.QueueItem(i) == display) {
          view_.RemoveQueueItem(i);
          context_.removeRing.ClearSlot(slot);
          break;
        }
      }
    }
    if (context_.addRing.IsFilled(slot) && context_.addRing.Peek(slot, scratch_)) {
      view_.AppendQueueItem(EntryDisplayText(scratch_));
      context_.addRing.ClearSlot(slot);
    }
    ++readPosition_;
    if (readPosition_ >= UiMessageRing::kSweepEnd) {
      readPosition_ = 0;
      batchStart = 0;
    }
  }
}

void MainWindowPresenter::Tick() {
  if (++passCounter_ < kPassesPerTick) return;
  passCounter_ = 0;
  if (restartCountdown_ != 0) {
    if (--restartCountdown_ == 0) context_.worker.Start();
    return;
  }
  const std::int64_t silent =
      context_.clock.MonotonicSeconds() - context_.flags.lastProgressTime.load();
  view_.SetElapsedText(IntToText(silent));
  if (silent > kSilenceLimitSeconds) {
    // Its BusyHold goes with the terminated worker.
    context_.worker.Terminate();
    if (context_.disconnect) context_.disconnect(&view_.StatusLine());
    restartCountdown_ = kRestartTicks;
  }
}

void MainWindowPresenter::RefillServerList(int select) {
  view_.FillServerList(context_.servers.Names());
  view_.SelectServer(select);
}

void MainWindowPresenter::OnNewServer() {
  const int slot = view_.EditServer(-1);
  RefillServerList(slot - 1);
}

void MainWindowPresenter::OnDeleteServer() {
  const int k = view_.SelectedServer();
  if (k < 0 || k >= context_.servers.Count()) return;
  const Text name = context_.servers.Get(k + 1).name;
  const Text question =
      view_.Translate(u"Are you sure that you want to delete the sever named ") + name + u"?";
  if (!view_.AskYesNo(view_.Translate(u"CAUTION!"), question)) return;
  context_.servers.DeleteServer(k + 1);
  view_.RemoveServerItem(k);
  view_.SelectServer(0);
}

void MainWindowPresenter::OnModifyServer() {
  const Text name = view_.ServerListText();
  const int slot = name.empty() ? -1 : context_.servers.FindServer(name);
  const int result = view_.EditServer(slot);
  RefillServerList(result - 1);
}

void MainWindowPresenter::OnQueueListClick() {
  const int selected = view_.SelectedQueueItem();
  if (selected < 0 || selected >= view_.QueueCount()) return;
  const int index = context_.queue.FindByDisplayText(view_.QueueItem(selected));
  if (index < 0) return;
  const auto entry = context_.queue.At(index);
  if (!entry) return;
  const Text server = EntryServerName(entry->text);
  if (server.empty() || !view_.ServerListShown()) return;
  view_.SelectServer(context_.servers.FindServer(server) - 1);
}

std::unordered_set<std::uint64_t> MainWindowPresenter::EntriesOfRows(const std::vector<int>& rows) const {
  std::unordered_set<std::uint64_t> ids;
  for (int row : rows) {
    if (row < 0 || row >= view_.QueueCount()) continue;
    const Text& item = view_.QueueItem(row);
    std::optional<QueueEntry> entry = context_.queue.At(row);
    if (!entry || EntryDisplayText(entry->text) != item) entry = context_.queue.At(context_.queue.FindByDisplayText(item));
    if (entry) ids.insert(entry->id);
  }
  return ids;
}

void MainWindowPresenter::OnRemoveFromList() {
  std::vector<int> rows = view_.SelectedQueueItems();
  std::erase_if(rows, [this](int row) { return row < 0 || row >= view_.QueueCount(); });
  if (rows.empty()) return;
  const std::unordered_set<std::uint64_t> ids = EntriesOfRows(rows);
  bool current = false;
  for (int row : rows) current = current || view_.QueueItem(row) == view_.CurrentFileText();
  view_.RemoveQueueItems(rows);
  const int count = view_.QueueCount();
  const int selected = rows.front();
  view_.SelectQueueItem(count == 0 ? -1 : (selected < count ? selected : count - 1));
  context_.queue.RemoveIds(ids);
  if (current) view_.ClearProgress();
  view_.SetRemoveEnabled(view_.SelectedQueueItem() >= 0);
}

void MainWindowPresenter::OnMoveSelected(bool toTop) {
  std::vector<int> rows = view_.SelectedQueueItems();
  std::erase_if(rows, [this](int row) { return row < 0 || row >= view_.QueueCount(); });
  if (rows.empty()) return;
  context_.queue.Move(EntriesOfRows(rows), toTop);
  view_.MoveQueueItems(rows, toTop);
}

void MainWindowPresenter::OnServerListSelect() {
  if (view_.ServerListShown()) view_.SelectQueueItem(-1);
}

void MainWindowPresenter::OnAbout() {
  const int bits = view_.ShowAbout(context_.hideServerList, context_.disableUpdates,
                                   context_.flags.lockedMode.load());
  if ((bits & 1) != 0 && context_.hideServerList == 0) {
    context_.hideServerList = 1;
    view_.RebuildServerArea(context_.currentServer, true);
  } else if ((bits & 1) == 0 && context_.hideServerList != 0) {
    context_.hideServerList = 0;
    view_.RebuildServerArea(context_.currentServer, false);
  }
  context_.disableUpdates = (bits >> 1) & 1;
}

void MainWindowPresenter::OnSiteButton() {
  const Text page = MakerHomePage(context_.siteBase, view_.Language());
  if (!page.empty()) view_.OpenAddress(page);
}

void MainWindowPresenter::OnCloseRequest() { context_.flags.quitRequested = true; }

}  // namespace wexmoor
