#include "wizard/progress_presenter.h"

#include "update/update_texts.h"
#include "wizard/no_device_message.h"

namespace qv {

ProgressPresenter::ProgressPresenter(WizardContext& context, ProgressView& view,
                                     WizardThreads& threads)
    : context_(context), view_(view), threads_(threads) {}

ProgressPresenter::~ProgressPresenter() {
  threads_.JoinWorker();
}

void ProgressPresenter::Begin() {
  view_.ShowPercent(0);
  view_.EnableOtherDevice(false);
  view_.ShowOtherDevice(context_.continuous_mode == 1);
  view_.EnableQuit(false);
  if (!threads_.RunOnWorker([this] { RunOnWorker(); })) {
    // No thread, no run: the device taken for it is let go and the page goes on as after a
    // failed run, so Quit (and in continuous mode the poll) still lead on.
    context_.link.Release();
    worker_finished_.store(true, std::memory_order_release);
    OnRunFinished(RunResult::kFailed);
  }
}

// Worker thread.
void ProgressPresenter::RunOnWorker() {
  progress_.percent.store(0);
  progress_.remaining_time_ms = 0;
  UpdateEnvironment env{context_.link,  context_.store,  context_.dialogs,
                        context_.clock, context_.random, context_.continuous_mode == 1};
  const RunResult result = context_.run(env, progress_);
  if (result == RunResult::kSucceeded) {
    // The run's own steps fill the bar when the areas fill the package; a package with less
    // than 1 KiB after its header, or with data outside its areas, leaves it short of full.
    progress_.percent.store(100);
    progress_.PostProgressMessage();
  }
  worker_finished_.store(true, std::memory_order_release);
  // The worker's last act; everything it posted before arrives first.
  threads_.PostToUi([this, result] { OnRunFinished(result); });
}

void ProgressPresenter::RunProgress::SetStatusText(std::string_view text) {
  page_.threads_.SendToUi([this, text] { page_.view_.ShowStatusText(text); });
}

void ProgressPresenter::RunProgress::PostProgressMessage() {
  const uint32_t value = percent.load();
  const int shown = static_cast<int>(value > 100 ? 100 : value);
  page_.threads_.PostToUi([this, shown] { page_.view_.ShowPercent(shown); });
}

void ProgressPresenter::RunProgress::SetFlashText(std::string_view text) {
  page_.threads_.SendToUi([this, text] { page_.flash_text_ = std::string(text); });
}

void ProgressPresenter::OnRunFinished(RunResult result) {
  if (run_done_) return;
  threads_.JoinWorker();
  run_done_ = true;
  if (result == RunResult::kDeclined) {
    // The run has released the device; the program ends with status 1 at once.
    run_declined_ = true;
    EndPage(kPageDeclined);
    return;
  }
  run_succeeded_ = result == RunResult::kSucceeded;
  if (run_succeeded_) {
    // The sound starts while the status line already reads the success.
    view_.ShowStatusText(text::kSuccess);
    view_.PlaySuccessSound();
  } else {
    view_.ShowStatusText(text::kFailure);
  }
  done_check_running_ = true;
  view_.StartTimer(PageTimer::kDoneCheck, context_.timings.done_check_ms);
}

void ProgressPresenter::OnTimer(PageTimer timer) {
  if (timer == PageTimer::kDoneCheck) OnDoneCheck();
  if (timer == PageTimer::kPoll) OnPollTick();
}

void ProgressPresenter::OnDoneCheck() {
  if (ended_ || !run_done_ || !done_check_running_) return;
  done_check_running_ = false;
  view_.StopTimer(PageTimer::kDoneCheck);
  view_.EnableQuit(true);
  if (context_.continuous_mode != 1) {
    // Quit is the only way on: Return or space ends the wizard without a Tab first.
    view_.FocusQuit();
    return;
  }
  StartPolling();
}

void ProgressPresenter::StartPolling() {
  context_.poll.RunFinished(run_succeeded_);
  view_.ShowNextDevicePrompt(text::kNextDevicePrompt);
  view_.EnableOtherDevice(true);
  view_.FocusOtherDevice();
  polling_ = true;
  view_.StartTimer(PageTimer::kPoll, context_.timings.poll_ms);
}

void ProgressPresenter::OnPollTick() {
  if (ended_ || !polling_) return;
  const bool found = context_.link.Discover() != 0;
  const DevicePoll::Action action = context_.poll.OnPoll(found);
  if (action == DevicePoll::Action::kRelease) context_.link.Release();
  if (action == DevicePoll::Action::kStartRun) EndPage(kPageHandOver);
}

void ProgressPresenter::OnOtherDevice() {
  if (ended_ || !polling_) return;
  if (context_.link.Discover() != 0) {
    // The poll's memory stays as it is: a run started here is no sighting of the poll's.
    EndPage(kPageHandOver);
    return;
  }
  // The poll goes on while the message is open.
  view_.ShowMessage(NoDeviceMessage(context_.link, context_.device_rules));
}

void ProgressPresenter::OnCloseRequest() {
  if (ended_ || !run_done_) return;
  EndPage(kPageEnded);
}

void ProgressPresenter::EndPage(PageOutcome outcome) {
  if (ended_) return;
  ended_ = true;
  polling_ = false;
  done_check_running_ = false;
  view_.StopTimer(PageTimer::kDoneCheck);
  view_.StopTimer(PageTimer::kPoll);
  view_.End(outcome);
}

}  // namespace qv
