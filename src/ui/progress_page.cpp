#include "ui/progress_page.h"

#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimerEvent>

#include "ui/no_device_message.h"
#include "ui/object_thread_call.h"
#include "ui/page_appearance.h"
#include "ui/page_templates.h"
#include "ui/qt_text.h"
#include "ui_progress_page.h"
#include "update/update_texts.h"

namespace qv {

ProgressPage::ProgressPage(WizardContext& context)
    : context_(context),
      ui_(std::make_unique<Ui::ProgressPage>()),
      worker_(std::make_unique<UpdateWorker>(context)) {
  EnsureUiResources();
  ui_->setupUi(this);
  ApplyPageAppearanceOrAbort(*this, ProgressTemplate());
  ui_->progress_bar->setRange(0, 100);
  ui_->progress_bar->setValue(0);
  ui_->other_device_button->setEnabled(false);
  ui_->other_device_button->setVisible(context_.continuous_mode == 1);
  ui_->quit_button->setEnabled(false);
  connect(ui_->quit_button, &QPushButton::clicked, this, [this] { reject(); });
  connect(ui_->other_device_button, &QPushButton::clicked, this, [this] { OnOtherDevice(); });
  StartWorker();
}

void ProgressPage::StartWorker() {
  UpdateWorker* worker = worker_.get();
  // The worker's signals cross to this thread queued, in the order they were emitted.
  connect(worker, &UpdateWorker::statusTextChanged, this,
          [this](const QString& text) { ui_->status_text->setText(text); });
  connect(worker, &UpdateWorker::progressChanged, ui_->progress_bar, &QProgressBar::setValue);
  connect(worker, &UpdateWorker::flashTextChanged, this,
          [this](const QString& text) { flash_text_ = text; });
  connect(worker, &UpdateWorker::runFinished, this, [this](int result) { OnRunFinished(result); });
  connect(worker, &UpdateWorker::deviceReady, this, [this] {
    if (!ended_) done(kPageHandOver);
  });
  connect(worker, &UpdateWorker::otherDeviceAnswered, this,
          [this](bool found) { OnOtherDeviceAnswered(found); });
  // The poll timer belongs to the worker's thread and is stopped there, as the thread ends.
  connect(&thread_, &QThread::finished, worker, [worker] { worker->StopPolling(); },
          Qt::DirectConnection);
  thread_.start();
  if (!thread_.isRunning()) {
    // No thread, no run: the device taken for it is let go and the page ends up as after a
    // failed run, so Quit (and in continuous mode the poll) still lead on. The worker stays on
    // this thread, so the calls the page makes on it run directly instead of waiting for a
    // thread that never serves them.
    context_.link.Release();
    OnRunFinished(static_cast<int>(RunResult::kFailed));
    return;
  }
  // Moved only once its thread runs; the run is the first thing its event loop serves.
  worker->moveToThread(&thread_);
  QMetaObject::invokeMethod(worker, [worker] { worker->Run(); });
}

ProgressPage::~ProgressPage() {
  JoinWorker();
}

void ProgressPage::JoinWorker() {
  if (thread_.isRunning() && !worker_->finished()) {
    // Only a page destroyed in the middle of its run gets here (the wizard ends pages only
    // after their run). The run may still need this thread for a message box, so this thread
    // serves events until the run's end has been signalled.
    QEventLoop until_finished;
    connect(worker_.get(), &UpdateWorker::runFinished, &until_finished, &QEventLoop::quit);
    if (!worker_->finished()) until_finished.exec();
  }
  thread_.quit();
  thread_.wait();
}

void ProgressPage::OnRunFinished(int result) {
  if (run_done_) return;
  run_done_ = true;
  if (result == static_cast<int>(RunResult::kDeclined)) {
    // The run has released the device; the program ends with status 1 at once.
    run_declined_ = true;
    done(kPageDeclined);
    return;
  }
  run_succeeded_ = result == static_cast<int>(RunResult::kSucceeded);
  if (run_succeeded_) {
    ui_->status_text->setText(ToQString(text::kSuccess));
    context_.sound.PlaySuccess();
  } else {
    ui_->status_text->setText(ToQString(text::kFailure));
  }
  done_timer_.start(context_.timings.done_check_ms, this);
}

void ProgressPage::timerEvent(QTimerEvent* event) {
  if (event->timerId() == done_timer_.timerId()) {
    OnDoneCheck();
  } else {
    QDialog::timerEvent(event);
  }
}

void ProgressPage::OnDoneCheck() {
  if (ended_ || !run_done_) return;
  done_timer_.stop();
  ui_->quit_button->setEnabled(true);
  if (context_.continuous_mode != 1) {
    // Quit is the only way on: Return or space ends the wizard without a Tab first.
    ui_->quit_button->setFocus();
    return;
  }
  context_.poll.RunFinished(run_succeeded_);
  ui_->next_device_prompt->setText(ToQString(text::kNextDevicePrompt));
  FitTextHeight(*ui_->next_device_prompt);
  ui_->other_device_button->setEnabled(true);
  ui_->other_device_button->setFocus();
  polling_ = true;
  const int interval = context_.timings.poll_ms;
  UpdateWorker* worker = worker_.get();
  QMetaObject::invokeMethod(worker, [worker, interval] { worker->StartPolling(interval); });
}

void ProgressPage::OnPollTick() {
  if (ended_ || !polling_) return;
  DevicePoll::Action action = DevicePoll::Action::kWait;
  UpdateWorker* worker = worker_.get();
  CallOnObjectThread(worker, [worker, &action] { action = worker->PollOnce(); });
  if (action == DevicePoll::Action::kStartRun) done(kPageHandOver);
}

void ProgressPage::OnOtherDevice() {
  if (ended_ || !polling_ || other_device_asked_) return;
  // Queued: the user-interface thread never waits for the discovery.
  other_device_asked_ = true;
  ui_->other_device_button->setEnabled(false);
  UpdateWorker* worker = worker_.get();
  QMetaObject::invokeMethod(worker, [worker] { worker->TakeOtherDevice(); });
}

void ProgressPage::OnOtherDeviceAnswered(bool found) {
  if (!other_device_asked_) return;
  other_device_asked_ = false;
  // The poll may have handed the page over meanwhile; the device the answer took is then the
  // one the next page runs on, as after the poll's own discovery.
  if (ended_) return;
  if (found) {
    done(kPageHandOver);
    return;
  }
  ui_->other_device_button->setEnabled(true);
  context_.dialogs.ShowMessage(NoDeviceMessage(context_));
}

void ProgressPage::StopPolling() {
  if (!polling_) return;
  polling_ = false;
  UpdateWorker* worker = worker_.get();
  CallOnObjectThread(worker, [worker] { worker->StopPolling(); });
}

void ProgressPage::done(int result) {
  if (ended_) return;
  done_timer_.stop();
  StopPolling();
  ended_ = true;
  QDialog::done(result);
}

// Enter reaches the page as a confirm command when no enabled default button takes it: ignored.
void ProgressPage::accept() {}

// Quit, Escape and the close box: refused while the run is in progress.
void ProgressPage::reject() {
  if (!run_done_) return;
  done(kPageEnded);
}

}  // namespace qv
