#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QString>
#include <memory>

#include "ui/sound_player.h"
#include "wizard/progress_presenter.h"
#include "wizard/progress_view.h"
#include "wizard/wizard_threads.h"

namespace Ui {
class ProgressPage;
}

namespace qv {

// The progress page's widgets: draws what the ProgressPresenter says and hands it the page's
// events (the timers, Other device, Quit, Escape and the close box). The worker reaches the
// page's thread through queued calls; the page's destructor joins the worker.
class ProgressPage final : public QDialog, private ProgressView, private WizardThreads {
  Q_OBJECT
 public:
  ProgressPage(WizardContext& context, SoundPlayer& sound);
  ~ProgressPage() override;

  // The presenter's inputs and state, for tests that step the page.
  void OnDoneCheck() { presenter_.OnTimer(PageTimer::kDoneCheck); }
  void OnPollTick() { presenter_.OnTimer(PageTimer::kPoll); }
  void OnOtherDevice() { presenter_.OnOtherDevice(); }
  [[nodiscard]] bool run_done() const { return presenter_.run_done(); }
  [[nodiscard]] bool run_succeeded() const { return presenter_.run_succeeded(); }
  [[nodiscard]] bool run_declined() const { return presenter_.run_declined(); }
  [[nodiscard]] bool done_check_running() const { return presenter_.done_check_running(); }
  [[nodiscard]] bool poll_running() const { return presenter_.polling(); }
  [[nodiscard]] bool ended() const { return presenter_.ended(); }
  [[nodiscard]] QString flash_text() const;
  [[nodiscard]] bool worker_finished() const { return presenter_.worker_finished(); }

  // Quit, Escape and the close box go to the presenter; Enter with no default button is ignored.
  void accept() override {}
  void reject() override { presenter_.OnCloseRequest(); }

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  // ProgressView
  void ShowStatusText(std::string_view text) override;
  void ShowPercent(int percent) override;
  void ShowNextDevicePrompt(std::string_view text) override;
  void ShowOtherDevice(bool shown) override;
  void EnableOtherDevice(bool enabled) override;
  void EnableQuit(bool enabled) override;
  void FocusQuit() override;
  void FocusOtherDevice() override;
  void PlaySuccessSound() override;
  void StartTimer(PageTimer timer, int interval_ms) override;
  void StopTimer(PageTimer timer) override;
  void ShowMessage(std::string_view text) override;
  void End(PageOutcome outcome) override;
  // WizardThreads
  void PostToUi(Task task) override;
  void SendToUi(Task task) override;

  QBasicTimer& TimerOf(PageTimer timer);

  SoundPlayer& sound_;
  Dialogs& dialogs_;
  std::unique_ptr<Ui::ProgressPage> ui_;
  QBasicTimer done_check_timer_;
  QBasicTimer poll_timer_;
  ProgressPresenter presenter_;
};

}  // namespace qv
