#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QEvent>
#include <QString>
#include <atomic>
#include <memory>
#include <string_view>
#include <thread>

#include "ui/wizard_context.h"
#include "update/progress_context.h"
#include "update/update_texts.h"

namespace Ui {
class ProgressPage;
}

namespace qv {

inline constexpr const char* kSuccessText = text::kSuccess;
inline constexpr const char* kFailureText = text::kFailure;
inline constexpr const char* kNextDevicePrompt = text::kNextDevicePrompt;

// The progress message (2025), posted by the worker and handled on the user-interface thread.
inline constexpr QEvent::Type kProgressMessageEvent =
    static_cast<QEvent::Type>(QEvent::User + 2025);

// Dialog 104: runs one update on its own worker thread, shows its progress and result, and in
// continuous mode polls for the next device. The page is the run's progress context.
//
// Ending the page (Quit, Escape, the close box) is refused until the worker has finished, so
// the worker never outlives the page, the package buffers or a half-written device.
class ProgressPage final : public QDialog, public ProgressContext {
  Q_OBJECT
 public:
  explicit ProgressPage(WizardContext& context);
  ~ProgressPage() override;

  // ProgressContext, called from the worker thread.
  void SetStatusText(std::string_view text) override;
  void PostProgressMessage() override;
  void SetFlashText(std::string_view text) override;

  // Timer 1 (done check) and timer 2 (device poll); public so tests can tick them directly.
  void OnDoneCheck();
  void OnPollTick();
  // The Other device button.
  void OnOtherDevice();

  [[nodiscard]] bool run_done() const { return run_done_.load(std::memory_order_acquire) == 1; }
  // Meaningful once run_done() is true.
  [[nodiscard]] bool run_succeeded() const { return run_succeeded_ == 1; }
  [[nodiscard]] bool done_check_running() const { return done_timer_.isActive(); }
  [[nodiscard]] bool poll_running() const { return poll_timer_.isActive(); }
  [[nodiscard]] bool ended() const { return ended_; }
  [[nodiscard]] const QString& flash_text() const { return flash_text_; }

  void done(int result) override;
  void accept() override;
  void reject() override;

 protected:
  bool event(QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void StartWorker();
  void WorkerMain();
  void StartDoneCheck();
  void WaitForWorker();

  WizardContext& context_;
  std::unique_ptr<Ui::ProgressPage> ui_;
  QBasicTimer done_timer_;
  QBasicTimer poll_timer_;
  QString flash_text_;
  bool ended_ = false;
  // Written by the worker before it publishes run_done_ (release); read after an acquire load.
  int32_t run_succeeded_ = 0;
  bool run_declined_ = false;
  std::atomic<int32_t> run_done_{0};
  std::thread worker_;
};

}  // namespace qv
