#pragma once

#include <atomic>
#include <string>

#include "update/progress_context.h"
#include "wizard/progress_view.h"
#include "wizard/wizard_context.h"
#include "wizard/wizard_threads.h"

namespace qv {

// One progress page's flow, on the user-interface thread: it runs one update on the worker,
// shows its progress and result, and in continuous mode polls for the next device every 200 ms
// (the DevicePoll rules), or takes one at Other device, and hands over to a new page.
//
// States: Running (the worker's run) → Finishing (the run's end shown, the done check's timer
// running) → Finished (Quit enabled) or, in continuous mode, Polling (prompt line, Other device
// enabled and focused, the poll timer running) → Ended (Quit, Escape or the close box) or
// handed over. Ending the page is refused until its run's end has arrived, so the worker never
// outlives the page, the package or a half-written device.
class ProgressPresenter final {
 public:
  ProgressPresenter(WizardContext& context, ProgressView& view, WizardThreads& threads);
  ~ProgressPresenter();
  ProgressPresenter(const ProgressPresenter&) = delete;
  ProgressPresenter& operator=(const ProgressPresenter&) = delete;

  // The page has opened: the bar at 0, Other device disabled (hidden in normal mode), Quit
  // disabled; the worker starts the run.
  void Begin();
  // A timer of the page has fired.
  void OnTimer(PageTimer timer);
  // The Other device button.
  void OnOtherDevice();
  // Quit, Escape or the close box.
  void OnCloseRequest();

  [[nodiscard]] bool run_done() const { return run_done_; }
  // Meaningful once run_done() is true.
  [[nodiscard]] bool run_succeeded() const { return run_succeeded_; }
  // The user declined to re-install the same version: the program ends with status 1 however
  // the page itself ended.
  [[nodiscard]] bool run_declined() const { return run_declined_; }
  [[nodiscard]] bool polling() const { return polling_; }
  [[nodiscard]] bool done_check_running() const { return done_check_running_; }
  [[nodiscard]] bool ended() const { return ended_; }
  // The device's flash ("Flash:" and its model code), kept and never shown.
  [[nodiscard]] const std::string& flash_text() const { return flash_text_; }
  // The worker has returned from its run (readable from any thread).
  [[nodiscard]] bool worker_finished() const {
    return worker_finished_.load(std::memory_order_acquire);
  }

 private:
  // The run's progress as the worker reports it, carried to the user-interface thread: texts
  // are sent (the run goes on once the page shows them), the percent is posted.
  class RunProgress final : public ProgressContext {
   public:
    explicit RunProgress(ProgressPresenter& page) : page_(page) {}
    void SetStatusText(std::string_view text) override;
    void PostProgressMessage() override;
    void SetFlashText(std::string_view text) override;

   private:
    ProgressPresenter& page_;
  };

  void RunOnWorker();
  void OnRunFinished(RunResult result);
  void OnDoneCheck();
  void StartPolling();
  void OnPollTick();
  void EndPage(PageOutcome outcome);

  WizardContext& context_;
  ProgressView& view_;
  WizardThreads& threads_;
  RunProgress progress_{*this};
  std::string flash_text_;
  bool run_done_ = false;
  bool run_succeeded_ = false;
  bool run_declined_ = false;
  bool done_check_running_ = false;
  bool polling_ = false;
  bool ended_ = false;
  std::atomic<bool> worker_finished_{false};
};

}  // namespace qv
