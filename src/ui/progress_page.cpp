#include "ui/progress_page.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimerEvent>
#include <chrono>
#include <system_error>

#include "ui/no_device_message.h"
#include "ui/object_thread_call.h"
#include "ui/page_appearance.h"
#include "ui/page_templates.h"
#include "ui_progress_page.h"

namespace qv {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

ProgressPage::ProgressPage(WizardContext& context)
    : context_(context), ui_(std::make_unique<Ui::ProgressPage>()) {
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
  try {
    worker_ = std::thread([this] { WorkerMain(); });
  } catch (const std::system_error&) {
    // No thread, no run: the device taken for it is let go and the page ends up as after a
    // failed run, so Quit (and in continuous mode the poll) still lead on.
    context_.link.Release();
    ui_->status_text->setText(QString::fromLatin1(kFailureText));
    StartDoneCheck();
    run_done_.store(1, std::memory_order_release);
  }
}

ProgressPage::~ProgressPage() {
  WaitForWorker();
}

void ProgressPage::WaitForWorker() {
  // The worker may still need this thread for a status text or a message box, so keep serving
  // events until it has finished.
  while (!run_done()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (worker_.joinable()) worker_.join();
}

void ProgressPage::WorkerMain() {
  UpdateEnvironment env{context_.link,  context_.store,  context_.dialogs,
                        context_.clock, context_.random, context_.continuous_mode == 1};
  const RunResult result = context_.run(env, *this);
  if (result == RunResult::kDeclined) {
    run_declined_ = true;
  } else if (result == RunResult::kSucceeded) {
    run_succeeded_ = 1;
    // The run's own steps fill the bar when the areas fill the package; a package with less
    // than 1 KiB after its header, or with data outside its areas, leaves it short of full.
    percent.store(100);
    PostProgressMessage();
    SetStatusText(kSuccessText);
    context_.sound.PlaySuccess();
  } else {
    run_succeeded_ = 0;
    SetStatusText(kFailureText);
  }
  CallOnObjectThread(this, [this] { StartDoneCheck(); });
  run_done_.store(1, std::memory_order_release);
}

void ProgressPage::StartDoneCheck() {
  done_timer_.start(context_.timings.done_check_ms, this);
}

void ProgressPage::SetStatusText(std::string_view text) {
  CallOnObjectThread(this, [this, text] { ui_->status_text->setText(ToQString(text)); });
}

void ProgressPage::PostProgressMessage() {
  QCoreApplication::postEvent(this, new QEvent(kProgressMessageEvent));
}

void ProgressPage::SetFlashText(std::string_view text) {
  CallOnObjectThread(this, [this, text] { flash_text_ = ToQString(text); });
}

bool ProgressPage::event(QEvent* event) {
  if (event->type() == kProgressMessageEvent) {
    // The percent current when the message is handled, not when it was posted.
    const uint32_t value = percent.load();
    ui_->progress_bar->setValue(static_cast<int>(value > 100 ? 100 : value));
    return true;
  }
  return QDialog::event(event);
}

void ProgressPage::timerEvent(QTimerEvent* event) {
  if (event->timerId() == done_timer_.timerId()) {
    OnDoneCheck();
  } else if (event->timerId() == poll_timer_.timerId()) {
    OnPollTick();
  } else {
    QDialog::timerEvent(event);
  }
}

void ProgressPage::OnDoneCheck() {
  if (ended_ || !run_done()) return;
  done_timer_.stop();
  if (run_declined_) {
    done(kPageDeclined);
    return;
  }
  ui_->quit_button->setEnabled(true);
  if (context_.continuous_mode != 1) return;
  context_.poll.RunFinished(run_succeeded());
  ui_->next_device_prompt->setText(QString::fromLatin1(kNextDevicePrompt));
  FitTextHeight(*ui_->next_device_prompt);
  ui_->other_device_button->setEnabled(true);
  ui_->other_device_button->setFocus();
  poll_timer_.start(context_.timings.poll_ms, this);
}

void ProgressPage::OnPollTick() {
  if (ended_) return;
  const bool found = context_.link.Discover() != 0;
  switch (context_.poll.OnPoll(found)) {
    case DevicePoll::Action::kRelease:
      context_.link.Release();
      break;
    case DevicePoll::Action::kStartRun:
      done(kPageHandOver);
      break;
    case DevicePoll::Action::kWait:
      break;
  }
}

void ProgressPage::OnOtherDevice() {
  if (ended_ || !poll_timer_.isActive()) return;
  if (context_.link.Discover() == 0) {
    context_.dialogs.ShowMessage(NoDeviceMessage(context_));
    return;
  }
  done(kPageHandOver);
}

void ProgressPage::done(int result) {
  done_timer_.stop();
  poll_timer_.stop();
  ended_ = true;
  QDialog::done(result);
}

// Enter reaches the page as a confirm command when no enabled default button takes it: ignored.
void ProgressPage::accept() {}

// Quit, Escape and the close box: refused while the run is in progress.
void ProgressPage::reject() {
  if (!run_done()) return;
  done(kPageEnded);
}

}  // namespace qv
