#include "program/main_window_presenter.h"

namespace wexmoor {

Text MakerHomePage(TextView siteBase, TextView language) {
  if (siteBase.empty()) return {};
  Text base(siteBase);
  while (!base.empty() && base.back() == u'/') base.pop_back();
  return base + (language == u"Français" ? u"/fr/" : u"/");
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

void MainWindowPresenter::OnRemoveFromList() {
  const int selected = view_.SelectedQueueItem();
  if (selected < 0 || selected >= view_.QueueCount()) return;
  const Text item = view_.QueueItem(selected);
  view_.RemoveQueueItem(selected);
  const int count = view_.QueueCount();
  view_.SelectQueueItem(count == 0 ? -1 : (selected < count ? selected : count - 1));
  const int index = context_.queue.FindByDisplayText(item);
  if (index >= 0) context_.queue.RemoveAt(index);
  if (view_.CurrentFileText() == item) view_.ClearProgress();
  view_.SetRemoveEnabled(view_.SelectedQueueItem() >= 0);
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
