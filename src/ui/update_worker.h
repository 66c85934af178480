#pragma once

#include <QBasicTimer>
#include <QObject>
#include <QString>
#include <atomic>
#include <string_view>

#include "ui/wizard_context.h"
#include "update/device_poll.h"
#include "update/progress_context.h"

namespace qv {

// One progress page's worker, living on the page's own QThread. It runs the update with itself
// as the progress context and tells the page about it through queued signals that carry their
// values (status text, percent, flash text, the run's result); it blocks only inside the
// message boxes of the run, which are shown on the user-interface thread. Afterwards, in continuous mode, it polls for the next
// device on the same thread, so discovery and the release pulse never stall the page.
//
// The device link belongs to this thread from the page's start until the thread has ended.
class UpdateWorker final : public QObject, public ProgressContext {
  Q_OBJECT
 public:
  explicit UpdateWorker(WizardContext& context);
  ~UpdateWorker() override;

  // Worker thread: the whole update run; ends with runFinished.
  void Run();
  // Set before runFinished is emitted; readable from any thread.
  [[nodiscard]] bool finished() const { return finished_.load(std::memory_order_acquire); }

  // Worker thread: one device poll (discovery, the poll rules, a release where they say so).
  // A start stops the periodic poll.
  [[nodiscard]] DevicePoll::Action PollOnce();
  // Worker thread: the periodic poll; deviceReady is emitted when the rules start a device.
  void StartPolling(int interval_ms);
  void StopPolling();
  // Worker thread: discovery for Other device, asked for with a queued call; answers with
  // otherDeviceAnswered. A device found is kept, and the periodic poll is then stopped.
  void TakeOtherDevice();

  // ProgressContext, called by the run on the worker thread.
  void SetStatusText(std::string_view text) override;
  void PostProgressMessage() override;
  void SetFlashText(std::string_view text) override;

 signals:
  void statusTextChanged(const QString& text);
  void progressChanged(int percent);  // the percent as it was when posted
  void flashTextChanged(const QString& text);
  void runFinished(int result);  // a RunResult
  void deviceReady();
  void otherDeviceAnswered(bool found);

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  WizardContext& context_;
  QBasicTimer poll_timer_;
  std::atomic<bool> finished_{false};
};

}  // namespace qv
