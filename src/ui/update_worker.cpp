#include "ui/update_worker.h"

#include <QTimerEvent>

#include "ui/qt_text.h"
#include "update/update_run.h"

namespace qv {

UpdateWorker::UpdateWorker(WizardContext& context) : context_(context) {}

UpdateWorker::~UpdateWorker() = default;

void UpdateWorker::Run() {
  percent.store(0);
  remaining_time_ms = 0;
  UpdateEnvironment env{context_.link,  context_.store,  context_.dialogs,
                        context_.clock, context_.random, context_.continuous_mode == 1};
  const RunResult result = context_.run(env, *this);
  if (result == RunResult::kSucceeded) {
    // The run's own steps fill the bar when the areas fill the package; a package with less
    // than 1 KiB after its header, or with data outside its areas, leaves it short of full.
    percent.store(100);
    PostProgressMessage();
  }
  finished_.store(true, std::memory_order_release);
  emit runFinished(static_cast<int>(result));
}

DevicePoll::Action UpdateWorker::PollOnce() {
  const bool found = context_.link.Discover() != 0;
  const DevicePoll::Action action = context_.poll.OnPoll(found);
  if (action == DevicePoll::Action::kRelease) context_.link.Release();
  if (action == DevicePoll::Action::kStartRun) StopPolling();
  return action;
}

void UpdateWorker::StartPolling(int interval_ms) {
  poll_timer_.start(interval_ms, this);
}

void UpdateWorker::StopPolling() {
  poll_timer_.stop();
}

void UpdateWorker::TakeOtherDevice() {
  const bool found = context_.link.Discover() != 0;
  if (found) StopPolling();
  emit otherDeviceAnswered(found);
}

void UpdateWorker::timerEvent(QTimerEvent* event) {
  if (event->timerId() != poll_timer_.timerId()) {
    QObject::timerEvent(event);
    return;
  }
  if (PollOnce() == DevicePoll::Action::kStartRun) emit deviceReady();
}

void UpdateWorker::SetStatusText(std::string_view text) {
  emit statusTextChanged(ToQString(text));
}

void UpdateWorker::PostProgressMessage() {
  const uint32_t value = percent.load();
  emit progressChanged(static_cast<int>(value > 100 ? 100 : value));
}

void UpdateWorker::SetFlashText(std::string_view text) {
  emit flashTextChanged(ToQString(text));
}

}  // namespace qv
