#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QString>
#include <QThread>
#include <memory>

#include "ui/update_worker.h"
#include "ui/wizard_context.h"

namespace Ui {
class ProgressPage;
}

namespace qv {

// The progress page: runs one update on its own worker thread, shows its progress and result,
// and in continuous mode waits for the next device (the worker polls for it).
//
// Ending the page (Quit, Escape, the close box) is refused until the page has received the
// end of its run, so the worker never outlives the page, the package buffers or a half-written
// device; the page's destructor joins the worker's thread.
class ProgressPage final : public QDialog {
  Q_OBJECT
 public:
  explicit ProgressPage(WizardContext& context);
  ~ProgressPage() override;

  // The done check (the end of the run becomes the Finished or Polling state) and one device
  // poll made at once on the worker thread; public so tests can step them.
  void OnDoneCheck();
  void OnPollTick();
  // The Other device button: asks the worker for a discovery; the answer comes as a signal.
  void OnOtherDevice();

  // The page has received the end of its run.
  [[nodiscard]] bool run_done() const { return run_done_; }
  // Meaningful once run_done() is true.
  [[nodiscard]] bool run_succeeded() const { return run_succeeded_; }
  // The user declined to re-install the same version: the program ends with status 1 however
  // the page itself ended.
  [[nodiscard]] bool run_declined() const { return run_declined_; }
  [[nodiscard]] bool done_check_running() const { return done_timer_.isActive(); }
  [[nodiscard]] bool poll_running() const { return polling_; }
  [[nodiscard]] bool ended() const { return ended_; }
  [[nodiscard]] const QString& flash_text() const { return flash_text_; }

  void done(int result) override;
  void accept() override;
  void reject() override;

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  void StartWorker();
  void OnRunFinished(int result);
  void OnOtherDeviceAnswered(bool found);
  void StopPolling();
  void JoinWorker();

  WizardContext& context_;
  std::unique_ptr<Ui::ProgressPage> ui_;
  QBasicTimer done_timer_;
  QString flash_text_;
  bool ended_ = false;
  bool run_done_ = false;
  bool run_succeeded_ = false;
  bool run_declined_ = false;
  bool polling_ = false;
  bool other_device_asked_ = false;  // an Other device request awaits its answer
  QThread thread_;
  std::unique_ptr<UpdateWorker> worker_;
};

}  // namespace qv
