#include "ui/progress_page.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimerEvent>

#include "ui/object_thread_call.h"
#include "ui/page_appearance.h"
#include "ui/page_templates.h"
#include "ui/qt_text.h"
#include "ui_progress_page.h"

namespace qv {

ProgressPage::ProgressPage(WizardContext& context, SoundPlayer& sound)
    : sound_(sound),
      dialogs_(context.dialogs),
      ui_(std::make_unique<Ui::ProgressPage>()),
      presenter_(context, *this, *this) {
  EnsureUiResources();
  ui_->setupUi(this);
  ApplyPageAppearanceOrAbort(*this, ProgressTemplate());
  ui_->progress_bar->setRange(0, 100);
  connect(ui_->quit_button, &QPushButton::clicked, this, [this] { reject(); });
  connect(ui_->other_device_button, &QPushButton::clicked, this,
          [this] { presenter_.OnOtherDevice(); });
  presenter_.Begin();
}

ProgressPage::~ProgressPage() {
  // Only a page destroyed in the middle of its run gets here with the worker going (the wizard
  // ends pages only after their run). The run may still wait for this thread (a status text, a
  // message box), so this thread serves events until the worker has returned.
  while (!presenter_.worker_finished()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
  }
  JoinWorker();
}

QString ProgressPage::flash_text() const {
  return ToQString(presenter_.flash_text());
}

void ProgressPage::timerEvent(QTimerEvent* event) {
  if (event->timerId() == done_check_timer_.timerId()) {
    presenter_.OnTimer(PageTimer::kDoneCheck);
  } else if (event->timerId() == poll_timer_.timerId()) {
    presenter_.OnTimer(PageTimer::kPoll);
  } else {
    QDialog::timerEvent(event);
  }
}

void ProgressPage::ShowStatusText(std::string_view text) {
  ui_->status_text->setText(ToQString(text));
}

void ProgressPage::ShowPercent(int percent) {
  ui_->progress_bar->setValue(percent);
}

void ProgressPage::ShowNextDevicePrompt(std::string_view text) {
  ui_->next_device_prompt->setText(ToQString(text));
  FitTextHeight(*ui_->next_device_prompt);
}

void ProgressPage::ShowOtherDevice(bool shown) {
  ui_->other_device_button->setVisible(shown);
}

void ProgressPage::EnableOtherDevice(bool enabled) {
  ui_->other_device_button->setEnabled(enabled);
}

void ProgressPage::EnableQuit(bool enabled) {
  ui_->quit_button->setEnabled(enabled);
}

void ProgressPage::FocusQuit() {
  ui_->quit_button->setFocus();
}

void ProgressPage::FocusOtherDevice() {
  ui_->other_device_button->setFocus();
}

void ProgressPage::PlaySuccessSound() {
  sound_.PlaySuccess();
}

QBasicTimer& ProgressPage::TimerOf(PageTimer timer) {
  return timer == PageTimer::kDoneCheck ? done_check_timer_ : poll_timer_;
}

void ProgressPage::StartTimer(PageTimer timer, int interval_ms) {
  TimerOf(timer).start(interval_ms, this);
}

void ProgressPage::StopTimer(PageTimer timer) {
  TimerOf(timer).stop();
}

void ProgressPage::ShowMessage(std::string_view text) {
  dialogs_.ShowMessage(text);
}

void ProgressPage::End(PageOutcome outcome) {
  QDialog::done(outcome);
}

void ProgressPage::PostToUi(Task task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void ProgressPage::SendToUi(Task task) {
  CallOnObjectThread(this, std::move(task));
}

}  // namespace qv
